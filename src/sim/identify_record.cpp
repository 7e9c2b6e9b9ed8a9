// ATA IDENTIFY DEVICE data as a SATA solid-state drive gives it.
#include <algorithm>

#include "sim/byte_writer.h"
#include "sim/records.h"
#include "sim/sim_hash.h"

namespace dozered::sim {

std::vector<uint8_t> BuildIdentify(const DriveModel& model) {
  std::vector<uint8_t> r(512, 0);
  auto word = [&r](int w, uint32_t v) { PutU16(r, static_cast<size_t>(2 * w), v); };
  const uint32_t capacity = model.identity.capacity;
  word(0, 0x0040);
  word(1, 16383);
  word(3, 16);
  word(6, 63);
  PutAtaText(r, 20, model.identity.serial, 20);
  PutAtaText(r, 46, model.identity.firmware, 8);
  PutAtaText(r, 54, model.identity.model, 40);
  word(47, 0x8010);
  word(49, 0x2F00);
  word(53, 0x0007);
  word(54, 16383);
  word(55, 16);
  word(56, 63);
  word(57, 16514064 & 0xFFFF);
  word(58, 16514064 >> 16);
  word(59, 0x0110);
  const uint32_t lba28 = std::min<uint32_t>(capacity, 0x0FFFFFFF);
  word(60, lba28 & 0xFFFF);
  word(61, lba28 >> 16);
  word(63, 0x0407);
  word(64, 0x0003);
  word(65, 120);
  word(66, 120);
  word(67, 120);
  word(68, 120);
  word(75, 31);
  word(76, 0x070E);
  word(77, 0x0006);
  word(78, 0x014C);
  word(79, 0x0044);
  word(80, 0x03F0);
  word(81, 0x0028);
  word(82, 0x746B);
  word(83, 0x7409);
  word(84, 0x4163);
  word(85, 0x7069);
  word(86, 0xB401);
  word(87, 0x4163);
  word(88, 0x407F);
  word(89, 0x0001);
  word(90, 0x0001);
  word(91, 0x0080);
  word(100, capacity & 0xFFFF);
  word(101, capacity >> 16);
  word(102, 0);
  word(103, 0);
  word(106, 0x4000);
  const uint64_t wwn = Hash(model.config.seed, HashDomain::kRecords, 0x3333);
  word(108, 0x5000 | static_cast<uint32_t>((wwn >> 48) & 0x0FFF));
  word(109, static_cast<uint32_t>((wwn >> 32) & 0xFFFF));
  word(110, static_cast<uint32_t>((wwn >> 16) & 0xFFFF));
  word(111, static_cast<uint32_t>(wwn & 0xFFFF));
  word(128, 0x0029);
  word(169, 0x0001);
  word(217, 0x0001);
  word(222, 0x107F);
  // Integrity word: signature 0xA5 and a checksum that makes the bytes sum to 0.
  r[510] = 0xA5;
  uint8_t sum = 0;
  for (int i = 0; i < 511; ++i) sum = static_cast<uint8_t>(sum + r[static_cast<size_t>(i)]);
  r[511] = static_cast<uint8_t>(-sum);
  return r;
}

}  // namespace dozered::sim
