// The Erase Count page against a simulated drive: two 33-sector reads, the
// 16,896-byte hex dump and the 8,192-line decode. Also the decode and dump
// alone, to tell the protocol's share from the formatting's.
#include <benchmark/benchmark.h>

#include <memory>

#include "app/app_state.h"
#include "app/device_scan.h"
#include "app/feedback.h"
#include "app/page_read.h"
#include "decode/hex_dump.h"
#include "decode/record_decoders.h"
#include "device/aspi_lib.h"
#include "device/virtual_platform.h"
#include "sim/simulated_drive.h"

namespace dozered {
namespace {

class SilentFeedback : public Feedback {
 public:
  void ReportStatus(const std::string&) override {}
  void ShowStatus(const std::string&) override {}
  void MessageBox(const std::string&, const std::string&, MessageIcon) override {}
  void Progress(int, int) override {}
  void ProcessPendingEvents() override {}
  bool CancelRequested() override { return false; }
};

std::unique_ptr<AppState> DemoState() {
  auto state = std::make_unique<AppState>();
  sim::DriveConfig config;
  config.transport = sim::Transport::kScsi;
  config.seed = 4810;
  VirtualDisk disk;
  disk.drive = std::make_shared<sim::SimulatedDrive>(config);
  disk.options.port = 1;
  std::vector<VirtualDisk> disks;
  disks.push_back(std::move(disk));
  state->Platform = std::make_unique<VirtualPlatform>(std::move(disks));
  state->Enumerator = std::make_unique<AspiLib>(*state->Platform);
  ResetEnumerator(*state);
  ScanForControllers(*state);
  FinishScan(*state);
  return state;
}

void BM_EraseCountPageRead(benchmark::State& bench) {
  auto state = DemoState();
  SilentFeedback feedback;
  size_t rows = 0;
  for (auto _ : bench) {
    PageReadOutput out = ReadPageData(*state, feedback, 4);
    rows = out.List ? out.List->size() : 0;
    benchmark::DoNotOptimize(out);
  }
  bench.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_EraseCountPageRead)->Unit(benchmark::kMillisecond);

void BM_EraseCountDumpAndDecode(benchmark::State& bench) {
  auto state = DemoState();
  std::vector<uint8_t> table(kEraseCountTableSize);
  for (size_t b = 0; b < 8192; ++b) table[2 * b] = static_cast<uint8_t>(b);
  table[16384] = 0x00;
  table[16385] = 0x20;  // 8,192 entries
  for (auto _ : bench) {
    size_t n = FormatHexDump(table, state->DumpTextBuffer.data(), state->DumpTextBuffer.size());
    Rows rows = DecodeEraseCountTable(table, 0);
    benchmark::DoNotOptimize(n);
    benchmark::DoNotOptimize(rows);
  }
}
BENCHMARK(BM_EraseCountDumpAndDecode)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace dozered
