#include "sim/drive_model.h"

#include <algorithm>

#include "sim/sim_hash.h"

namespace dozered::sim {

DriveModel::DriveModel(const DriveConfig& c)
    : config(c),
      identity(MakeDriveIdentity(c)),
      layout(c.geometry),
      wear(c),
      badBlocks(c, layout, wear),
      flash(c, layout, badBlocks),
      cells(c.seed, c.geometry),
      cardMode(c.cardMode) {
  for (int b = kEraseCountStartBlock; b < c.geometry.TotalFBlocks(); ++b) {
    if (!badBlocks.IsFBlockBad(b)) dataBlocks_.push_back(static_cast<uint16_t>(b));
  }
  const uint64_t h = Hash(c.seed, HashDomain::kRecords, 0x9C);
  counters.powerOnHours = c.powerOnHours > 0 ? static_cast<uint32_t>(c.powerOnHours)
                                             : static_cast<uint32_t>(c.averageEraseCount) * 3u + static_cast<uint32_t>(h % 500);
  counters.powerCycles = counters.powerOnHours / 6u + static_cast<uint32_t>((h >> 16) % 50) + 1u;
}

uint32_t DriveModel::EraseCountOf(int fblock) const {
  return wear.BaseEraseCount(fblock) + flash.FBlockErasesThisLife(fblock);
}

uint32_t DriveModel::EraseCountOf(const PhysicalBlock& block) const {
  return wear.BaseEraseCount(layout.FBlockOf(block)) + flash.EraseCountThisLife(block);
}

bool DriveModel::EraseWearsOut(const PhysicalBlock& block) {
  if (flash.EraseCountThisLife(block) == 0 || badBlocks.WearsOutOnProgram(block)) return false;
  const uint32_t count = EraseCountOf(block);
  if (count < badBlocks.Endurance(block)) return false;
  RunTimeBadBlock entry;
  entry.fblock = static_cast<uint16_t>(layout.FBlockOf(block));
  entry.reason = kFailErase;
  entry.channel = static_cast<uint8_t>(block.channel);
  entry.ceOffset = static_cast<uint8_t>(layout.CeOffsetOf(block));
  entry.plane = static_cast<uint8_t>(block.plane);
  entry.failMask = static_cast<uint16_t>(1u << ((4 * block.channel + layout.CeOffsetOf(block)) & 15));
  entry.eraseCount = static_cast<uint16_t>(std::min<uint32_t>(count, 0x7FFF));
  badBlocks.Retire(block, entry);
  return true;
}

bool DriveModel::ProgramWearsOut(const PhysicalPage& page) {
  if (flash.EraseCountThisLife(page.block) == 0 || !badBlocks.WearsOutOnProgram(page.block)) return false;
  const uint32_t count = EraseCountOf(page.block);
  if (count < badBlocks.Endurance(page.block) || page.page != badBlocks.WearOutPage(page.block)) return false;
  RunTimeBadBlock entry;
  entry.fblock = static_cast<uint16_t>(layout.FBlockOf(page.block));
  entry.reason = kFailProgram;
  entry.page = static_cast<uint16_t>(page.page);
  entry.channel = static_cast<uint8_t>(page.block.channel);
  entry.ceOffset = static_cast<uint8_t>(layout.CeOffsetOf(page.block));
  entry.plane = static_cast<uint8_t>(page.block.plane);
  entry.eraseCount = static_cast<uint16_t>(std::min<uint32_t>(count, 0x7FFF));
  badBlocks.Retire(page.block, entry);
  return true;
}

double DriveModel::AverageEraseCount() const {
  if (dataBlocks_.empty()) return 0;
  double sum = 0;
  for (uint16_t b : dataBlocks_) sum += EraseCountOf(b);
  return sum / static_cast<double>(dataBlocks_.size());
}

uint32_t DriveModel::MaxEraseCount() const {
  uint32_t m = 0;
  for (uint16_t b : dataBlocks_) m = std::max(m, EraseCountOf(b));
  return m;
}

}  // namespace dozered::sim
