// The erase-count table, the mark-bad list and the original bad-block table.
#include <algorithm>
#include <set>

#include "sim/byte_writer.h"
#include "sim/records.h"

namespace dozered::sim {

std::vector<uint8_t> BuildEraseCountTable(const DriveModel& model) {
  std::vector<uint8_t> r(kEraseCountTableBytes, 0);
  const int count = std::min(model.config.geometry.TotalFBlocks(), kEraseCountEntries);
  for (int b = 0; b < count; ++b) {
    uint32_t entry;
    if (model.badBlocks.IsFBlockBad(b)) {
      entry = 0xFFFF;
    } else {
      entry = std::min<uint32_t>(model.EraseCountOf(b), 0x7FFF);
      if (model.wear.IsSlcBlock(b)) entry |= 0x8000;
    }
    PutU16(r, static_cast<size_t>(2 * b), entry);
  }
  PutU16(r, 2 * kEraseCountEntries, static_cast<uint32_t>(count));
  return r;
}

std::vector<uint8_t> BuildMarkBadList(const DriveModel& model) {
  std::vector<uint8_t> r(kMarkBadBytes, 0);
  const auto& entries = model.badBlocks.runTime();
  const size_t n = std::min<size_t>(entries.size(), (kMarkBadBytes - 8) / 8);
  PutU16(r, 0, static_cast<uint32_t>(n));
  for (size_t k = 0; k < n; ++k) {
    const RunTimeBadBlock& e = entries[k];
    const size_t at = 8 + 8 * k;
    PutU16(r, at, e.fblock);
    if (e.reason == kFailErase) {
      PutU16(r, at + 2, e.failMask);
    } else {
      PutU16(r, at + 2, static_cast<uint32_t>((e.page & 0x0FFF) | ((e.ceOffset & 0x0F) << 12)));
      r[at + 6] = static_cast<uint8_t>((e.plane & 0x0F) | ((e.channel & 0x0F) << 4));
    }
    PutU16(r, at + 4, e.eraseCount);
    r[at + 7] = e.reason;
  }
  return r;
}

std::vector<uint8_t> BuildOriginalBadBlockTable(const DriveModel& model) {
  std::vector<uint8_t> r(kOriginalBadTableBytes, 0);
  const auto& entries = model.badBlocks.factory();
  uint16_t counts[128] = {};
  size_t i = 0;
  const size_t capacity = (kOriginalBadTableBytes - 512) / 4;
  for (const FactoryBadBlock& e : entries) {
    if (e.channel >= 4 || e.ce >= 8 || e.plane >= 4 || i >= capacity) continue;
    ++counts[32 * e.channel + 4 * e.ce + e.plane];
    PutU16(r, 512 + 4 * i, e.fblock);
    PutU16(r, 514 + 4 * i, static_cast<uint32_t>((e.ce & 0x0F) | ((e.channel & 0x0F) << 4) | ((e.plane & 0x0F) << 8)));
    ++i;
  }
  for (int k = 0; k < 128; ++k) PutU16(r, static_cast<size_t>(2 * k), counts[k]);
  return r;
}

}  // namespace dozered::sim
