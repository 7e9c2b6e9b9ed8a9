// Answers that read the flash: raw page reads, distribution reads, the
// chunk-ECC answer and the LBA translation.
#include <algorithm>
#include <cstring>

#include "sim/byte_writer.h"
#include "sim/records.h"
#include "sim/scrambler.h"

namespace dozered::sim {

std::vector<uint8_t> ReadFlashPage(const DriveModel& model, const FlashCommandAddress& address, uint32_t sectors,
                                   int, int) {
  std::vector<uint8_t> r(static_cast<size_t>(sectors) * 512, 0xFF);
  if (sectors == 0) return r;
  PhysicalPage first;
  if (!model.layout.ResolvePage(address, &first)) return r;  // no die there: the bus reads high
  const FlashGeometry& g = model.config.geometry;
  const size_t pageBytes = static_cast<size_t>(g.PageBytes());
  const bool withSpare = (address.option & kOptionNoSpare) == 0;
  const bool descramble = (address.option & kOptionScramble) != 0;
  const bool ecc = (address.option & kOptionEccOff) == 0;
  const size_t dataBytes = (withSpare ? sectors - 1 : sectors) * size_t{512};
  const int planes = (address.option & kOptionOnePlane) ? 1 : g.planes - first.block.plane;
  size_t at = 0;
  size_t from = static_cast<size_t>(address.chunk) * 1024;
  for (int k = 0; k < planes && at < dataBytes; ++k) {
    PhysicalPage page = first;
    page.block.plane = first.block.plane + k;
    if (from >= pageBytes) {
      from -= pageBytes;
      continue;
    }
    const size_t n = std::min(dataBytes - at, pageBytes - from);
    model.flash.ReadData(page, from, r.data() + at, n);
    if (descramble) {
      const PageInfo info = model.flash.Info(page);
      const size_t programmed = ecc ? std::min(info.dataBytes, from + n) : from + n;
      if (programmed > from) ScrambleData(model.config.seed, page.page, from, r.data() + at, programmed - from);
    }
    at += n;
    from = 0;
  }
  if (withSpare) {
    uint8_t* spare = r.data() + dataBytes;
    std::vector<uint8_t> stored(static_cast<size_t>(g.spareBytes));
    model.flash.ReadSpare(first, stored.data());
    if (descramble && (!ecc || model.flash.Info(first).spare)) {
      ScrambleSpare(model.config.seed, first.page, pageBytes, stored.data(), stored.size());
    }
    std::memcpy(spare, stored.data(), std::min<size_t>(512, stored.size()));
  }
  return r;
}

ChunkEccGeometry ChunkEccGeometryOf(const DriveModel& model) {
  const std::vector<uint8_t> cardInfo = BuildCardInfoReply(model);
  return ChunkEccGeometryFromCardInfo(cardInfo.data());
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
