// Answers that read the flash: raw page reads, distribution reads, the
// chunk-ECC answer and the LBA translation.
#include <algorithm>
#include <cstring>

#include "sim/byte_writer.h"
#include "sim/records.h"

namespace dozered::sim {

std::vector<uint8_t> ReadFlashPage(const DriveModel& model, const FlashCommandAddress& address, uint32_t sectors,
                                   int levelSlot, int levelOffset) {
  std::vector<uint8_t> r(static_cast<size_t>(sectors) * 512, 0xFF);
  if (sectors == 0) return r;
  PhysicalPage page;
  if (!model.layout.ResolvePage(address, &page)) return r;  // no die there: the bus reads high
  const FlashGeometry& g = model.config.geometry;
  std::vector<uint8_t> data(static_cast<size_t>(g.PageBytes()));
  std::vector<uint8_t> spare(static_cast<size_t>(g.spareBytes));
  model.flash.ReadPage(page, data.data(), spare.data());

  PageReadContext context;
  context.seed = model.config.seed;
  context.page = page;
  context.eraseCount = model.EraseCountOf(page.block);
  context.programmed = model.flash.IsProgrammed(page);
  context.levelSlot = levelSlot;
  context.levelOffset = levelOffset;
  model.readModel->ApplyRead(context, data.data(), data.size());

  const bool withSpare = (address.option & kOptionNoSpare) == 0;
  const size_t dataBytes = (withSpare ? sectors - 1 : sectors) * size_t{512};
  const size_t from = static_cast<size_t>(address.chunk) * 1024;
  if (from < data.size()) std::memcpy(r.data(), data.data() + from, std::min(dataBytes, data.size() - from));
  if (withSpare) std::memcpy(r.data() + dataBytes, spare.data(), std::min<size_t>(512, spare.size()));
  return r;
}

ChunkEccGeometry ChunkEccGeometryOf(const DriveModel& model) {
  const std::vector<uint8_t> cardInfo = BuildCardInfoReply(model);
  ChunkEccGeometry g;
  g.chunksPerGroup = std::clamp<int>(cardInfo[card_info::kPageSizeKiB], 1, 64);
  g.groupsPerRow = std::clamp<int>(cardInfo[card_info::kPlaneCount], 1, 4);
  g.retryRows = kChunkEccRetryRows;
  return g;
}

std::vector<uint8_t> BuildChunkEccAnswer(const DriveModel& model, uint16_t block, uint16_t page, uint8_t target,
                                         uint8_t option) {
  const ChunkEccGeometry geometry = ChunkEccGeometryOf(model);
  std::vector<uint8_t> r(static_cast<size_t>(geometry.AnswerBytes()), 0);
  for (int plane = 0; plane < geometry.groupsPerRow; ++plane) {
    FlashCommandAddress address;
    address.block = block;
    address.page = page;
    address.chce = target;
    address.option = static_cast<uint8_t>((option & ~0xC0) | (plane << 6));
    PhysicalPage physical;
    const bool present = model.layout.ResolvePage(address, &physical);
    PageReadContext context;
    context.seed = model.config.seed;
    if (present) {
      context.page = physical;
      context.eraseCount = model.EraseCountOf(physical.block);
      context.programmed = model.flash.IsProgrammed(physical);
    }
    for (int row = 0; row < geometry.retryRows; ++row) {
      for (int chunk = 0; chunk <= geometry.chunksPerGroup; ++chunk) {
        const int which = chunk == geometry.chunksPerGroup ? -1 : chunk;
        const uint8_t bits = present ? model.readModel->CorrectedBits(context, row, which) : 0;
        r[static_cast<size_t>(geometry.Offset(row, plane, chunk))] = bits;
      }
    }
  }
  return r;
}

std::vector<uint8_t> BuildTranslation(const DriveModel& model, uint32_t lba) {
  std::vector<uint8_t> r(512, 0);
  auto word = [&r](int w, uint32_t v) { PutU16(r, static_cast<size_t>(2 * w), v); };
  const FlashGeometry& g = model.config.geometry;
  const auto& blocks = model.DataBlocks();
  if (lba >= model.identity.capacity || blocks.empty() || g.SectorsPerPage() < 8) {
    word(0, kNoSuchLba);
    return r;
  }
  // A static striped map of 4 KiB units: channel fastest, then interleave,
  // then plane, then page, over the good data blocks.
  const uint64_t unit = lba / 8;
  const uint64_t unitsPerPage = static_cast<uint64_t>(g.SectorsPerPage() / 8);
  const uint32_t sectorInPage = static_cast<uint32_t>((unit % unitsPerPage) * 8 + lba % 8);
  uint64_t s = unit / unitsPerPage;
  const uint32_t channel = static_cast<uint32_t>(s % static_cast<uint64_t>(g.channels));
  s /= static_cast<uint64_t>(g.channels);
  const uint32_t interleave = static_cast<uint32_t>(s % static_cast<uint64_t>(g.interleaveWays));
  s /= static_cast<uint64_t>(g.interleaveWays);
  const uint32_t plane = static_cast<uint32_t>(s % static_cast<uint64_t>(g.planes));
  s /= static_cast<uint64_t>(g.planes);
  const uint32_t page = static_cast<uint32_t>(s % static_cast<uint64_t>(g.pagesPerBlock));
  s /= static_cast<uint64_t>(g.pagesPerBlock);
  const uint16_t fblock = blocks[static_cast<size_t>(s % blocks.size())];
  const uint32_t ce = static_cast<uint32_t>((fblock / g.blocksPerCe) * g.interleaveWays) + interleave;
  word(0, kTranslated);
  word(1, fblock);
  word(2, 0);  // DiffType
  word(3, page);
  word(4, sectorInPage);
  word(5, plane);
  word(6, interleave);
  word(7, 0);  // DiffOffset
  word(8, 0);  // LSB only
  word(9, channel);
  word(10, ce);
  return r;
}

}  // namespace dozered::sim
