// Cost of the simulated drive: one vendor command as the tool sends it (LBA 0
// read, save, five unlock reads, command, data phase, check), one 16 KiB page
// read, and the memory the flash store holds per programmed page.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "device/scsi_cdb.h"
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

void BM_VendorCommand(benchmark::State& state) {
  SimulatedDrive drive{DriveConfig{}};
  uint8_t command[512] = {0xF0, static_cast<uint8_t>(state.range(0))};
  command[3] = 0xD0;
  const uint32_t sectors = static_cast<uint32_t>(state.range(1));
  std::vector<uint8_t> data(sectors * 512);
  for (auto _ : state) {
    if (!Exchange(drive, command, data.data(), sectors, false)) state.SkipWithError("command failed");
    benchmark::DoNotOptimize(data.data());
  }
}
// ReadIdentify, ReadFlashId, ReadSmart, ReadEraseCount (the table of 2,048 blocks).
BENCHMARK(BM_VendorCommand)->Args({0x3F, 1})->Args({0x20, 4})->Args({0x3E, 1})->Args({0x42, 33});

void BM_PageRead16KiB(benchmark::State& state) {
  SimulatedDrive drive{DriveConfig{}};
  const bool written = state.range(0) != 0;
  uint8_t read[512] = {0xF0, 0x0A};
  read[3] = 6;  // block 6 arrives erased; blocks from 8 on hold generated data
  if (!written) read[3] = 200;
  read[8] = 0x21;
  std::vector<uint8_t> data(33 * 512);
  if (written) {
    uint8_t write[512] = {0xF1, 0x0B};
    write[3] = 6;
    write[8] = 0x21;
    std::vector<uint8_t> page(32 * 512, 0x5A);
    Exchange(drive, write, page.data(), 32, true);
  }
  uint16_t page = 0;
  for (auto _ : state) {
    read[4] = static_cast<uint8_t>(written ? 0 : page++ & 0xFF);
    if (!Exchange(drive, read, data.data(), 33, false)) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(data.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 16384);
}
// 0: a page of the data the drive arrived with (generated), 1: a page programmed in this session.
BENCHMARK(BM_PageRead16KiB)->Arg(0)->Arg(1);

void BM_FlashMemoryPerWrittenPage(benchmark::State& state) {
  const int pages = static_cast<int>(state.range(0));
  std::vector<uint8_t> page(32 * 512, 0x33);
  size_t stored = 0;
  for (auto _ : state) {
    SimulatedDrive drive{DriveConfig{}};
    for (int i = 0; i < pages; ++i) {
      uint8_t write[512] = {0xF1, 0x0B};
      write[2] = static_cast<uint8_t>((8 + i / 256) >> 8);
      write[3] = static_cast<uint8_t>(8 + i / 256);
      write[4] = static_cast<uint8_t>(i % 256);
      write[8] = 0x21;
      Exchange(drive, write, page.data(), 32, true);
    }
    stored = drive.StoredFlashBytes();
  }
  state.counters["stored_bytes"] = static_cast<double>(stored);
  state.counters["bytes_per_page"] = pages > 0 ? static_cast<double>(stored) / pages : 0.0;
}
// Memory grows with the pages written, never with the drive's size.
BENCHMARK(BM_FlashMemoryPerWrittenPage)->Arg(0)->Arg(16)->Arg(256)->Unit(benchmark::kMillisecond);

}  // namespace
