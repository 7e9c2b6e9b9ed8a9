// The flash ID reply: the card-information record and the rest of the
// 2,048-byte transfer.
#include <cstring>

#include "sim/byte_writer.h"
#include "sim/records.h"
#include "sim/sim_hash.h"

namespace dozered::sim {

std::vector<uint8_t> BuildCardInfoReply(const DriveModel& model) {
  using namespace card_info;
  std::vector<uint8_t> r(kReplyBytes, 0);
  const FlashGeometry& g = model.config.geometry;
  PutText(r, 0, "VE4810VO", 8);
  PutU16(r, 8, 0x0126);
  r[kCardMode] = static_cast<uint8_t>(model.cardMode);
  PutU16(r, 12, model.identity.capacity & 0xFFFF);
  PutU16(r, 14, model.identity.capacity >> 16);
  PutU16(r, kRuntimeBadBlockCount, static_cast<uint32_t>(model.RunTimeBadCount()));
  r[kTemperature] = static_cast<uint8_t>(model.config.temperature);
  std::memcpy(r.data() + 32, model.identity.ispVersion.data(), 16);

  for (int ce = 0; ce < 8; ++ce) {
    for (int ch = 0; ch < 4; ++ch) {
      if (ce < g.ces && ch < g.channels) {
        std::memcpy(r.data() + kFlashIdTable + 32 * ce + 8 * ch, model.identity.flashId.data(), 8);
      }
    }
  }
  r[kFlashMakerCode] = model.identity.flashId[0];
  r[kCardMode0] = static_cast<uint8_t>((g.interleaveWays > 1 ? 0x01 : 0x00) | (g.ces > g.interleaveWays ? 0x02 : 0x00) | 0x10);
  r[kFlashParameter] = static_cast<uint8_t>(0x01 | 0x04 | (g.planes > 1 ? 0x20 : 0x00));
  r[kCardFlashOption] = static_cast<uint8_t>((g.planes > 1 ? 0x03 : 0x00) | 0x08 | 0x20);
  r[kInterleaveWays] = static_cast<uint8_t>(g.interleaveWays);
  r[kPlaneCount] = static_cast<uint8_t>(g.planes);
  r[kChannelCount] = static_cast<uint8_t>(g.channels);
  r[kCeCount] = static_cast<uint8_t>(g.ces);
  r[kDataEccMode] = 3;   // 40 bits per 1 KiB
  r[kSpareEccMode] = 1;
  PutU16(r, kInfoBlocksOffset, sim::kInfoBlocks[0]);
  PutU16(r, kInfoBlocksOffset + 2, sim::kInfoBlocks[1]);
  PutU16(r, kIspBlocksOffset, sim::kIspBlocks[0]);
  PutU16(r, kIspBlocksOffset + 2, sim::kIspBlocks[1]);
  PutU16(r, kEraseCountStartBlockOffset, static_cast<uint32_t>(sim::kEraseCountStartBlock));
  PutU16(r, kTotalFBlockCount, static_cast<uint32_t>(g.TotalFBlocks()));
  PutU16(r, kBlocksPerCe, static_cast<uint32_t>(g.blocksPerCe));
  PutU16(r, kOriginalBadBlockCount, static_cast<uint32_t>(model.badBlocks.OriginalCount()));
  PutU16(r, kPretestBadBlockCount, static_cast<uint32_t>(model.badBlocks.PretestCount()));
  r[kPageSizeKiB] = static_cast<uint8_t>(g.pageSizeKiB);
  r[kSectorsPerPage] = static_cast<uint8_t>(g.SectorsPerPage());
  PutU16(r, kPagesPerBlock, static_cast<uint32_t>(g.pagesPerBlock));
  // Driving strength, on-die termination and timing per channel.
  for (int ch = 0; ch < 4; ++ch) {
    const uint64_t h = Hash(model.config.seed, HashDomain::kRecords, 0xD100 + static_cast<uint64_t>(ch));
    const uint8_t driving[8] = {0x44, 0x44, 0x22, static_cast<uint8_t>(0x10 + (h & 0x07)), 0x33, 0x01,
                                static_cast<uint8_t>(0x80 | ((h >> 8) & 0x0F)), 0x00};
    if (ch < g.channels) std::memcpy(r.data() + kFlashDriving + 8 * ch, driving, 8);
  }
  return r;
}

}  // namespace dozered::sim
