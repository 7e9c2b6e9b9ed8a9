// Cost of the simulated drive's translation layer: host sector writes (with
// garbage collection once the drive is full), host reads, and TranslateLba
// through a whole vendor exchange. Host writes and reads go through the SCSI
// path as the Virtual platform delivers them.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

#include "device/scsi_cdb.h"
#include "sim/code_images.h"
#include "sim/records.h"
#include "sim/simulated_drive.h"

namespace {

using dozered::ScsiCommand;
using dozered::ScsiOutcome;
using dozered::sim::DriveConfig;
using dozered::sim::SimulatedDrive;

bool Transfer(SimulatedDrive& drive, bool write, uint32_t lba, uint32_t count, uint8_t* data) {
  ScsiCommand c;
  dozered::scsi::BuildReadWrite10(c.cdb, write ? dozered::scsi::kOpWrite10 : dozered::scsi::kOpRead10, 0, lba, count);
  c.cdbLength = 10;
  c.dataIn = !write;
  c.data = data;
  c.length = count * 512;
  ScsiOutcome o;
  return drive.ExecuteScsi(c, o) && o.status == 0;
}

bool Exchange(SimulatedDrive& drive, const uint8_t* command, uint8_t* data, uint32_t sectors, bool out) {
  uint8_t scratch[512];
  Transfer(drive, false, 0, 1, scratch);
  Transfer(drive, false, 0x55AA, 1, scratch);
  for (uint32_t lba : {0xAAu, 0xAA00u, 0x55u, 0x5500u, 0x55AAu}) Transfer(drive, false, lba, 1, scratch);
  Transfer(drive, true, 0x55AA, 1, const_cast<uint8_t*>(command));
  const bool ok = Transfer(drive, out, 0x55AA, sectors, data);
  Transfer(drive, false, 0x55AA, 1, scratch);
  return ok;
}

// The demo drive's layout on 32 F-blocks of 16 pages of 8 KiB: 32 MiB of
// flash, about 20 MiB of user data, so that it fills and collects quickly.
DriveConfig SmallDrive() {
  DriveConfig c;
  c.geometry.channels = 2;
  c.geometry.ces = 2;
  c.geometry.interleaveWays = 2;
  c.geometry.planes = 2;
  c.geometry.blocksPerCe = 32;
  c.geometry.pagesPerBlock = 16;
  c.geometry.pageSizeKiB = 8;
  return c;
}

void Fill(SimulatedDrive& drive) {
  std::vector<uint8_t> data(256 * 512, 0x5A);
  for (uint32_t lba = 0; lba + 256 <= drive.capacity(); lba += 256) Transfer(drive, true, lba, 256, data.data());
}

// Host writes of `range(0)` sectors at random aligned LBAs of a full drive:
// every superblock the host fills costs a garbage collection.
void BM_HostWriteFullDrive(benchmark::State& state) {
  SimulatedDrive drive{SmallDrive()};
  Fill(drive);
  const uint32_t sectors = static_cast<uint32_t>(state.range(0));
  std::vector<uint8_t> data(sectors * 512, 0xC3);
  std::mt19937 random(1);
  const uint32_t slots = drive.capacity() / sectors;
  const auto before = drive.model().ftl.Statistics();
  for (auto _ : state) {
    if (!Transfer(drive, true, (random() % slots) * sectors, sectors, data.data())) state.SkipWithError("write failed");
  }
  const auto after = drive.model().ftl.Statistics();
  // Units programmed (two per 8 KiB page) per 4 KiB unit the host touched.
  const double unitsWritten = static_cast<double>(state.iterations()) * ((sectors + 7) / 8);
  state.counters["write_amplification"] =
      unitsWritten > 0 ? static_cast<double>(after.pagesProgrammed - before.pagesProgrammed) * 2 / unitsWritten : 0;
  state.counters["gc_erases"] = static_cast<double>(after.superblocksErased - before.superblocksErased);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * sectors * 512);
}
BENCHMARK(BM_HostWriteFullDrive)->Arg(1)->Arg(8)->Arg(128);

// Sequential host writes on an empty demo drive (no collection).
void BM_HostWriteSequential(benchmark::State& state) {
  SimulatedDrive drive{DriveConfig{}};
  const uint32_t sectors = static_cast<uint32_t>(state.range(0));
  std::vector<uint8_t> data(sectors * 512, 0x3C);
  uint32_t lba = 0;
  for (auto _ : state) {
    if (!Transfer(drive, true, lba, sectors, data.data())) state.SkipWithError("write failed");
    lba += sectors;
    if (lba + sectors > (1u << 22)) {  // 2 GiB, then over again
      state.PauseTiming();
      lba = 0;
      state.ResumeTiming();
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * sectors * 512);
}
BENCHMARK(BM_HostWriteSequential)->Arg(8)->Arg(128);

// Host reads of `range(0)` sectors at random LBAs of a full drive: one
// unit's data descrambled per 4 KiB.
void BM_HostReadFullDrive(benchmark::State& state) {
  SimulatedDrive drive{SmallDrive()};
  Fill(drive);
  const uint32_t sectors = static_cast<uint32_t>(state.range(0));
  std::vector<uint8_t> data(sectors * 512);
  std::mt19937 random(2);
  const uint32_t slots = drive.capacity() / sectors;
  for (auto _ : state) {
    if (!Transfer(drive, false, (random() % slots) * sectors, sectors, data.data())) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(data.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * sectors * 512);
}
BENCHMARK(BM_HostReadFullDrive)->Arg(1)->Arg(8)->Arg(128);

// TranslateLba of written LBAs: the answer alone, and the whole vendor
// exchange the tool makes for it.
void BM_TranslateLba(benchmark::State& state) {
  SimulatedDrive drive{DriveConfig{}};
  std::vector<uint8_t> data(256 * 512, 0x11);
  for (uint32_t lba = 0; lba < 65536; lba += 256) Transfer(drive, true, lba, 256, data.data());
  const bool exchange = state.range(0) != 0;
  if (exchange) {
    const auto file = dozered::sim::BuildDiagnosticFile(dozered::sim::DiagnosticKind::kTranLba2Pba,
                                                        drive.model().identity.ispVersion, false);
    // A file without header loads at 0xE400: its first 3,072 bytes.
    uint8_t load[512] = {0xF0, 0x2B};
    const uint32_t address = 0xE400;
    for (int b = 0; b < 4; ++b) load[4 + b] = static_cast<uint8_t>(address >> (24 - 8 * b));
    load[11] = 6;
    std::vector<uint8_t> payload(3072, 0);
    std::copy_n(file.begin(), std::min<size_t>(file.size(), payload.size()), payload.begin());
    if (!Exchange(drive, load, payload.data(), 6, true)) state.SkipWithError("diagnostic code refused");
  }
  uint32_t lba = 0;
  std::vector<uint8_t> answer(512);
  for (auto _ : state) {
    lba = (lba + 4099) % 65536;
    if (exchange) {
      uint8_t command[512] = {0xF0, 0x41};
      for (int b = 0; b < 4; ++b) command[2 + b] = static_cast<uint8_t>(lba >> (8 * b));
      command[15] = 0x44;
      if (!Exchange(drive, command, answer.data(), 1, false) || answer[0] != 0x55) state.SkipWithError("not translated");
    } else {
      answer = dozered::sim::BuildTranslation(drive.model(), lba);
      if (answer[0] != 0x55) state.SkipWithError("not translated");
    }
    benchmark::DoNotOptimize(answer.data());
  }
}
// 0: the answer built from the map; 1: the vendor exchange around it.
BENCHMARK(BM_TranslateLba)->Arg(0)->Arg(1);

}  // namespace
