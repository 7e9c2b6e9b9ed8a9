// Answers that read the flash: raw page reads, distribution reads and the
// chunk-ECC answer.
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

}  // namespace dozered::sim
