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

struct FailureCounts {
  int program = 0;
  int erase = 0;
  int readEcc = 0;
  int earlyRetire = 0;
  int total = 0;
};

// What the SMART data and the error log report, all from the drive's state:
// its mark-bad list, erase-count table and counters.
struct DriveHealth {
  FailureCounts failures;
  double averageEraseCount = 0;  // over the blocks the erase-count table lists as good
  uint32_t maxEraseCount = 0;
  int lifeUsedPercent = 0;       // of the rated erase cycles
  uint64_t uncorrectable = 0;
  uint64_t unexpectedPowerLoss = 0;
  uint64_t sectorsWritten = 0;   // by the host, in the drive's whole life
  uint64_t sectorsRead = 0;
  uint64_t eccRecovered = 0;     // 1 KiB chunks read with bits corrected
};

DriveHealth HealthOf(const DriveModel& model) {
  DriveHealth h;
  for (const RunTimeBadBlock& e : model.badBlocks.runTime()) {
    ++h.failures.total;
    switch (e.reason) {
      case kFailProgram: ++h.failures.program; break;
      case kFailErase: ++h.failures.erase; break;
      case kFailEarlyRetire: ++h.failures.earlyRetire; break;
      default: ++h.failures.readEcc; break;  // every other reason is a read the ECC lost
    }
  }
  // One pass over the erase-count table's blocks: the wear now and the wear
  // the drive arrived with.
  double sum = 0, arrivedSum = 0;
  int n = 0;
  const int end = std::min(model.config.geometry.TotalFBlocks(), kEraseCountEntries);
  for (int b = kEraseCountStartBlock; b < end; ++b) {
    if (model.badBlocks.IsFBlockBad(b)) continue;
    const uint32_t count = model.EraseCountOf(b);
    sum += count;
    arrivedSum += model.wear.BaseEraseCount(b);
    h.maxEraseCount = std::max(h.maxEraseCount, count);
    ++n;
  }
  h.averageEraseCount = n > 0 ? sum / n : 0;
  const double arrivedAverage = n > 0 ? arrivedSum / n : 0;
  h.lifeUsedPercent = std::clamp(static_cast<int>(h.averageEraseCount * 100.0 / std::max(model.config.ratedCycles, 1)), 0, 100);
  h.uncorrectable = static_cast<uint64_t>(h.failures.readEcc) + model.counters.uncorrectableReads;
  h.unexpectedPowerLoss = model.counters.powerCycles / 20;
  // The host traffic behind the wear the drive arrived with (the flash
  // written over that many times, at a write amplification of 2.5, and read
  // half as often again), plus this life's.
  const double rawSectors = static_cast<double>(RawFlashBytes(model.config.geometry)) / 512.0;
  const uint64_t arrivedWrites = static_cast<uint64_t>(arrivedAverage * rawSectors / 2.5);
  const uint64_t arrivedReads = arrivedWrites * 3 / 2;
  h.sectorsWritten = arrivedWrites + model.counters.hostSectorsWritten;
  h.sectorsRead = arrivedReads + model.counters.hostSectorsRead;
  // Chunks that needed correction: a mean of 3.5 raw bit errors per 1 KiB at
  // 3,000 cycles, growing with the wear to the power 1.5 (Poisson: a chunk
  // with at least one error is corrected).
  const double lambda = 3.5 * std::pow(std::max(h.averageEraseCount, 0.0) / 3000.0, 1.5);
  h.eccRecovered = static_cast<uint64_t>(static_cast<double>(h.sectorsRead / 2) * (1.0 - std::exp(-lambda)));
  return h;
}

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
  const DriveHealth h = HealthOf(model);
  const int temperature = model.config.temperature;
  const uint8_t lifeLeft = static_cast<uint8_t>(std::max(100 - h.lifeUsedPercent, 1));
  const SmartAttribute attributes[] = {
      {0x01, 0x000B, 100, 100, 0},
      {0x05, 0x0013, 100, 100, static_cast<uint64_t>(h.failures.total)},
      {0x09, 0x0012, 100, 100, model.counters.powerOnHours},
      {0x0C, 0x0012, 100, 100, model.counters.powerCycles},
      {0xAB, 0x0032, 100, 100, static_cast<uint64_t>(h.failures.program)},
      {0xAC, 0x0032, 100, 100, static_cast<uint64_t>(h.failures.erase)},
      {0xAD, 0x0032, lifeLeft, lifeLeft,
       static_cast<uint64_t>(std::lround(h.averageEraseCount)) | (static_cast<uint64_t>(h.maxEraseCount) << 16)},
      {0xAE, 0x0032, 100, 100, h.unexpectedPowerLoss},
      {0xBB, 0x0032, 100, 100, h.uncorrectable},
      {0xC2, 0x0022, static_cast<uint8_t>(temperature), static_cast<uint8_t>(std::max(temperature, 52)),
       static_cast<uint64_t>(temperature) | (20ull << 16) | (static_cast<uint64_t>(std::max(temperature, 52)) << 32)},
      {0xC3, 0x0032, 100, 100, h.eccRecovered},
      {0xCA, 0x0030, lifeLeft, lifeLeft, static_cast<uint64_t>(h.lifeUsedPercent)},
      {0xF1, 0x0032, 100, 100, h.sectorsWritten},
      {0xF2, 0x0032, 100, 100, h.sectorsRead},
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
  const DriveHealth h = HealthOf(model);
  auto u16 = [](uint64_t v) { return static_cast<uint32_t>(std::min<uint64_t>(v, 0xFFFF)); };
  auto u32 = [](uint64_t v) { return static_cast<uint32_t>(std::min<uint64_t>(v, 0xFFFFFFFFu)); };
  const uint64_t retiredOnRead = static_cast<uint64_t>(h.failures.readEcc + h.failures.earlyRetire);
  PutU16(r, 0, u16(retiredOnRead + model.counters.uncorrectableReads));  // read errors
  PutU16(r, 2, u16(h.uncorrectable));                                     // of them uncorrectable
  PutU16(r, 4, u16(static_cast<uint64_t>(h.failures.program + h.failures.erase)));  // write errors
  PutU16(r, 6, u16(static_cast<uint64_t>(h.failures.program)));                     // of them lost programs
  PutU32(r, 16, u32(h.unexpectedPowerLoss));           // supply fell below 2.7 V: power lost
  PutU32(r, 20, u32(model.counters.powerCycles / 50));  // dipped below 4.0 V and recovered
  return r;
}

}  // namespace dozered::sim
