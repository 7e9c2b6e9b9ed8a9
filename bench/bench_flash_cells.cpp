// Cost of the simulated flash's cell physics, each through the whole vendor
// exchange as the tool sends it: one Flash RW read of 33 sectors, a DBS-like
// run over the 2,048 blocks, the chunk-ECC answer, and a full read-distribution
// measurement (a page and its partner, three read types, step 3).
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "device/scsi_cdb.h"
#include "sim/code_images.h"
#include "sim/simulated_drive.h"

namespace {

using dozered::ScsiCommand;
using dozered::ScsiOutcome;
using dozered::sim::DriveConfig;
using dozered::sim::SimulatedDrive;

bool Transfer(SimulatedDrive& drive, bool write, uint32_t lba, uint32_t count, uint8_t* data) {
  ScsiCommand c;
  dozered::scsi::BuildReadWrite10(c.cdb, write ? dozered::scsi::kOpWrite10 : dozered::scsi::kOpRead10, 0, lba,
                                  count);
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

// 0: the demo's first drive (850 cycles, fresh data); 1: a worn, aged drive (3,000 cycles, data a year old).
DriveConfig Config(int64_t kind) {
  DriveConfig config;
  config.seed = 4810;
  if (kind == 1) {
    config.seed = 3000;
    config.averageEraseCount = 3000;
    config.dataAgeHours = 24 * 365;
  }
  return config;
}

// The first F-block that holds data at channel 0, CE 0, plane 0, within the
// drive's normal wear.
uint16_t DataBlock(SimulatedDrive& drive) {
  auto& model = drive.model();
  for (int fblock = dozered::sim::kEraseCountStartBlock;; ++fblock) {
    const auto block = model.layout.BlockOfFBlock(fblock, 0, 0, 0);
    if (model.flash.InitialContentOf(block) == dozered::sim::InitialContent::kData &&
        model.EraseCountOf(block) < 1.2 * model.config.averageEraseCount + 100) {
      return static_cast<uint16_t>(fblock);
    }
  }
}

void LoadDiagnostic(SimulatedDrive& drive, dozered::sim::DiagnosticKind kind) {
  const auto file = dozered::sim::BuildDiagnosticFile(kind, drive.model().identity.ispVersion, false);
  uint8_t command[512] = {0xF0, 0x2B, 0, 0, 0x00, 0x00, 0xE4, 0x00, 0, 0, 0x00, 0x06};
  std::vector<uint8_t> payload(3072, 0);
  std::memcpy(payload.data(), file.data(), std::min<size_t>(file.size(), payload.size()));
  Exchange(drive, command, payload.data(), 6, true);
}

void SetAddress(uint8_t* command, uint16_t block, uint16_t page, uint8_t option, uint8_t chce) {
  command[2] = static_cast<uint8_t>(block >> 8);
  command[3] = static_cast<uint8_t>(block);
  command[4] = static_cast<uint8_t>(page);
  command[12] = static_cast<uint8_t>(page >> 8);
  command[8] = option;
  command[10] = chce;
}

// One Flash RW read: 33 sectors (16 KiB and the spare) with ECC and read retry
// on, descrambled, stepping through the pages of a block that holds data.
void BM_FlashRwRead(benchmark::State& state) {
  SimulatedDrive drive(Config(state.range(0)));
  const uint8_t option = static_cast<uint8_t>(state.range(1));
  uint8_t command[512] = {0xF0, 0x0A};
  std::vector<uint8_t> data(33 * 512);
  const uint16_t block = DataBlock(drive);
  uint16_t page = 0;
  for (auto _ : state) {
    SetAddress(command, block, page++ & 0xFF, option, 0);
    if (!Exchange(drive, command, data.data(), 33, false)) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(data.data());
  }
}
BENCHMARK(BM_FlashRwRead)->ArgNames({"worn", "option"})->Args({0, 0x21})->Args({0, 0x23})->Args({1, 0x21})->Args({1, 0x23})
    ->Unit(benchmark::kMicrosecond);

// A DBS-like run: page 0 of each of the 2,048 blocks, 3 or 33 sectors, ECC on.
void BM_BlockScan(benchmark::State& state) {
  SimulatedDrive drive(Config(state.range(0)));
  const uint32_t sectors = static_cast<uint32_t>(state.range(1));
  uint8_t command[512] = {0xF0, 0x0A};
  std::vector<uint8_t> data(sectors * 512);
  for (auto _ : state) {
    int failed = 0;
    for (uint16_t block = 0; block < 2048; ++block) {
      SetAddress(command, block, 0, 0x21, 0);
      if (!Exchange(drive, command, data.data(), sectors, false)) ++failed;
    }
    state.counters["failed"] = failed;
  }
}
BENCHMARK(BM_BlockScan)->ArgNames({"worn", "sectors"})->Args({0, 3})->Args({0, 33})->Args({1, 3})->Args({1, 33})
    ->Unit(benchmark::kMillisecond);

// The chunk-ECC answer of one page: 8 levels x 2 planes x (16 chunks + spare).
void BM_ChunkEccAnswer(benchmark::State& state) {
  SimulatedDrive drive(Config(state.range(0)));
  LoadDiagnostic(drive, dozered::sim::DiagnosticKind::kReadChunkEcc);
  const uint16_t block = DataBlock(drive);
  uint8_t command[512] = {0xF0, 0x46, static_cast<uint8_t>(block >> 8), static_cast<uint8_t>(block)};
  std::vector<uint8_t> data(512);
  uint8_t page = 0;
  for (auto _ : state) {
    command[5] = page++;
    if (!Exchange(drive, command, data.data(), 1, false)) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(data.data());
  }
}
BENCHMARK(BM_ChunkEccAnswer)->ArgNames({"worn"})->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// A full distribution measurement without strong mode as the tool runs it:
// MSB page 102 with types 1 and 3, then its partner, LSB page 99, with type 2;
// each type a reference read and 42 reads of 33 sectors at step 3.
void BM_DistributionMeasurement(benchmark::State& state) {
  SimulatedDrive drive(Config(state.range(0)));
  LoadDiagnostic(drive, dozered::sim::DiagnosticKind::kReadDistribution);
  uint8_t command[512] = {0xF0, 0x45};
  std::vector<uint8_t> data(33 * 512);
  const struct {
    uint16_t page;
    int type;
  } reads[] = {{102, 1}, {102, 3}, {99, 2}};
  const uint16_t block = DataBlock(drive);
  for (auto _ : state) {
    for (const auto& r : reads) {
      SetAddress(command, block, r.page, 0x2E, 0);
      std::memset(command + 14, 0, 4);
      Exchange(drive, command, data.data(), 33, false);
      for (int v = 0; v < 63; v += 3) {
        command[14 + r.type] = static_cast<uint8_t>(v);
        Exchange(drive, command, data.data(), 33, false);
      }
      for (int v = 125; v > 64; v -= 3) {
        command[14 + r.type] = static_cast<uint8_t>(v);
        Exchange(drive, command, data.data(), 33, false);
      }
    }
    benchmark::DoNotOptimize(data.data());
  }
}
BENCHMARK(BM_DistributionMeasurement)->ArgNames({"worn"})->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
