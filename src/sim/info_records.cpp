// The ISP information block, SMART data, the CID block and the error log.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "sim/byte_writer.h"
#include "sim/records.h"
#include "sim/sim_hash.h"

namespace dozered::sim {
namespace {

struct SmartAttribute {
  uint8_t id;
  uint16_t flags;
  uint8_t current;
  uint8_t worst;
  uint64_t raw;
};

}  // namespace

std::vector<uint8_t> BuildIspInfo(const DriveModel& model) {
  std::vector<uint8_t> r(512, 0);
  PutText(r, 0, "VE4810VO ISP", 16, '\0');
  PutU16(r, 16, 0x0126);                        // code revision
  PutText(r, 24, "20261015", 8);                // build date
  const uint32_t codeBytes = static_cast<uint32_t>(model.flash.IspPageCount()) *
                             static_cast<uint32_t>(model.config.geometry.PageBytes()) *
                             static_cast<uint32_t>(model.config.geometry.planes);
  PutU32(r, 32, codeBytes);
  PutU32(r, 36, static_cast<uint32_t>(Hash(model.config.seed, HashDomain::kRecords, 0x15C)));
  PutU16(r, 40, kIspBlocks[0]);
  PutU16(r, 42, kIspBlocks[1]);
  PutU16(r, 44, kInfoBlocks[0]);
  PutU16(r, 46, kInfoBlocks[1]);
  std::memcpy(r.data() + 48, model.identity.flashId.data(), 8);
  PutText(r, 64, model.identity.firmware, 8);
  std::memcpy(r.data() + kIspVersionOffset, model.identity.ispVersion.data(), 16);
  return r;
}

std::vector<uint8_t> BuildSmart(const DriveModel& model) {
  std::vector<uint8_t> r(512, 0);
  PutU16(r, 0, 0x0010);
  const uint64_t seed = model.config.seed;
  const double average = model.AverageEraseCount();
  const int lifeUsed = std::clamp(static_cast<int>(average * 100.0 / 3000.0), 0, 100);
  int programFails = 0;
  int eraseFails = 0;
  for (const RunTimeBadBlock& e : model.badBlocks.runTime()) {
    if (e.reason == kFailProgram) ++programFails;
    if (e.reason == kFailErase) ++eraseFails;
  }
  // Host traffic in units of 32 MiB: the wear the drive arrived with (write
  // amplification about 2.5) plus this session's sectors.
  const double rawGiB = static_cast<double>(model.identity.capacity) * 512.0 / 1073741824.0;
  const uint64_t arrivedWrites = static_cast<uint64_t>(average * rawGiB / 2.5 * 32.0);
  const uint64_t writes = arrivedWrites + model.counters.hostSectorsWritten / 65536;
  const uint64_t reads = arrivedWrites * 3 / 2 + model.counters.hostSectorsRead / 65536;
  const uint32_t uncorrectable = static_cast<uint32_t>(Hash(seed, HashDomain::kRecords, 0xBB) % 4);
  const int temperature = model.config.temperature;
  const SmartAttribute attributes[] = {
      {0x01, 0x000B, 100, 100, 0},
      {0x05, 0x0013, 100, 100, static_cast<uint64_t>(model.RunTimeBadCount())},
      {0x09, 0x0012, 100, 100, model.counters.powerOnHours},
      {0x0C, 0x0012, 100, 100, model.counters.powerCycles},
      {0xAB, 0x0032, 100, 100, static_cast<uint64_t>(programFails)},
      {0xAC, 0x0032, 100, 100, static_cast<uint64_t>(eraseFails)},
      {0xAD, 0x0032, static_cast<uint8_t>(100 - lifeUsed), static_cast<uint8_t>(100 - lifeUsed),
       static_cast<uint64_t>(std::lround(average)) | (static_cast<uint64_t>(model.MaxEraseCount()) << 16)},
      {0xAE, 0x0032, 100, 100, model.counters.powerCycles / 20},
      {0xBB, 0x0032, 100, 100, uncorrectable},
      {0xC2, 0x0022, static_cast<uint8_t>(temperature), static_cast<uint8_t>(std::max(temperature, 52)),
       static_cast<uint64_t>(temperature) | (20ull << 16) | (static_cast<uint64_t>(std::max(temperature, 52)) << 32)},
      {0xC3, 0x0032, 100, 100, Hash(seed, HashDomain::kRecords, 0xC3) % 5000 + static_cast<uint64_t>(average * 10)},
      {0xCA, 0x0030, static_cast<uint8_t>(100 - lifeUsed), static_cast<uint8_t>(100 - lifeUsed),
       static_cast<uint64_t>(lifeUsed)},
      {0xF1, 0x0032, 100, 100, writes},
      {0xF2, 0x0032, 100, 100, reads},
  };
  size_t at = 2;
  for (const SmartAttribute& a : attributes) {
    r[at] = a.id;
    PutU16(r, at + 1, a.flags);
    r[at + 3] = a.current;
    r[at + 4] = a.worst;
    PutU48(r, at + 5, a.raw);
    at += 12;
  }
  return r;
}

std::vector<uint8_t> BuildCid(const DriveModel& model) {
  std::vector<uint8_t> r(512, 0);
  const FlashGeometry& g = model.config.geometry;
  PutText(r, 0, "CID", 4, '\0');
  PutU16(r, 4, 0x0001);  // layout revision
  // The CID block proper: the options the drive was built with.
  const size_t c = kCidOffset;
  PutText(r, c + 0, "VE4810VO", 8);
  PutU16(r, c + 8, 0x0126);
  r[c + 10] = static_cast<uint8_t>(g.channels);
  r[c + 11] = static_cast<uint8_t>(g.ces);
  r[c + 12] = static_cast<uint8_t>(g.interleaveWays);
  r[c + 13] = static_cast<uint8_t>(g.planes);
  r[c + 14] = static_cast<uint8_t>(g.pageSizeKiB);
  r[c + 15] = 3;  // data ECC mode
  PutU16(r, c + 16, static_cast<uint32_t>(g.pagesPerBlock));
  PutU16(r, c + 18, static_cast<uint32_t>(g.blocksPerCe));
  PutU32(r, c + 20, model.identity.capacity);
  std::memcpy(r.data() + c + 24, model.identity.flashId.data(), 8);
  PutText(r, c + 32, model.identity.serial, 20);
  PutText(r, c + 52, model.identity.firmware, 8);
  PutText(r, c + 60, model.identity.model, 40);
  r[c + 100] = 0x01;  // write cache on
  r[c + 101] = 0x01;  // TRIM supported
  r[c + 102] = 0x00;  // security off
  r[c + 103] = 0x07;  // link speed: up to 6 Gb/s
  PutU16(r, c + 104, 7);  // over-provisioning in percent
  PutU16(r, c + 106, static_cast<uint32_t>(model.identity.capacityGb));
  PutU32(r, c + 108, static_cast<uint32_t>(Hash(model.config.seed, HashDomain::kRecords, 0xC1D)));
  return r;
}

std::vector<uint8_t> BuildErrorLog(const DriveModel& model) {
  std::vector<uint8_t> r(1024, 0);
  const uint64_t seed = model.config.seed;
  const uint32_t uncorrectable = static_cast<uint32_t>(Hash(seed, HashDomain::kRecords, 0xBB) % 4);
  int programFails = 0;
  for (const RunTimeBadBlock& e : model.badBlocks.runTime()) {
    if (e.reason == kFailProgram) ++programFails;
  }
  PutU16(r, 0, uncorrectable + static_cast<uint32_t>(Hash(seed, HashDomain::kRecords, 0xE0) % 20));
  PutU16(r, 2, uncorrectable);
  PutU16(r, 4, static_cast<uint32_t>(programFails) + static_cast<uint32_t>(Hash(seed, HashDomain::kRecords, 0xE1) % 5));
  PutU16(r, 6, static_cast<uint32_t>(programFails));
  PutU32(r, 16, static_cast<uint32_t>(Hash(seed, HashDomain::kRecords, 0xE2) % 8));
  PutU32(r, 20, static_cast<uint32_t>(Hash(seed, HashDomain::kRecords, 0xE3) % 3));
  return r;
}

}  // namespace dozered::sim
