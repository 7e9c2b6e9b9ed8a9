// The answer to TranslateLba: where the translation layer keeps an LBA.
#include "sim/byte_writer.h"
#include "sim/records.h"

namespace dozered::sim {

// Words of the 512-byte answer, little-endian: 0 status, 1 F-block,
// 2 DiffType, 3 page, 4 sector within the page, 5 plane, 6 interleave,
// 7 DiffOffset, 8 LSB only, 9 channel, 10 CE. An LBA beyond the capacity and
// an LBA the host never wrote (it has no place in the flash) both answer
// 0xAAAA with the other words zero.
std::vector<uint8_t> BuildTranslation(const DriveModel& model, uint32_t lba) {
  std::vector<uint8_t> r(512, 0);
  auto word = [&r](int w, uint32_t v) { PutU16(r, static_cast<size_t>(2 * w), v); };
  LbaLocation where;
  if (lba >= model.identity.capacity || !model.ftl.Locate(lba, &where)) {
    word(0, kNoSuchLba);
    return r;
  }
  word(0, kTranslated);
  word(1, static_cast<uint32_t>(where.fblock));
  word(2, 0);  // DiffType
  word(3, static_cast<uint32_t>(where.page.page));
  word(4, static_cast<uint32_t>(where.sectorInPage));
  word(5, static_cast<uint32_t>(where.page.block.plane));
  word(6, static_cast<uint32_t>(where.ceOffset));
  word(7, 0);  // DiffOffset
  word(8, 0);  // LSB only: the page is used in MLC mode
  word(9, static_cast<uint32_t>(where.page.block.channel));
  word(10, static_cast<uint32_t>(where.page.block.ce));
  return r;
}

}  // namespace dozered::sim
