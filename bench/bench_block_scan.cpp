// A DBS of the demo drive's 2,048 blocks as plain code, without a window:
// the drive's and the formatting's share of a scan through the window
// (bench_gui_dbs).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <memory>

#include "app/app_state.h"
#include "app/device_scan.h"
#include "app/feedback.h"
#include "device/aspi_lib.h"
#include "device/virtual_platform.h"
#include "flash/block_scan.h"
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

// CPU time of the calling thread, in milliseconds.
double ThreadCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// Notes the longest time between two turns of the event loop, in the CPU
// time of the thread.
class GapFeedback : public SilentFeedback {
 public:
  void ProcessPendingEvents() override {
    const double now = ThreadCpuMs();
    if (last_ >= 0) longest = std::max(longest, now - last_);
    last_ = now;
  }
  void Restart() { last_ = -1; }
  double longest = 0;

 private:
  double last_ = -1;
};

// The demo's first drive: normal firmware, 850 cycles, over SATA.
std::unique_ptr<AppState> DemoState() {
  auto state = std::make_unique<AppState>();
  sim::DriveConfig config;
  config.transport = sim::Transport::kSata;
  config.seed = 4810;
  config.averageEraseCount = 850;
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

void BM_DbsOperation(benchmark::State& bench) {
  auto state = DemoState();
  GapFeedback feedback;
  DbsDpsFields fields;
  fields.Option = "21";
  for (auto _ : bench) {
    feedback.Restart();
    const BlockScanOutcome out = RunDbs(*state, feedback, fields);
    if (out.StepsDone != 2048) bench.SkipWithError("the scan did not finish");
    benchmark::DoNotOptimize(out.Dump);
  }
  bench.counters["longest_cpu_ms"] = feedback.longest;
}
BENCHMARK(BM_DbsOperation)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DbsDumpText(benchmark::State& bench) {
  std::vector<uint8_t> table(2048 * 16, 0x5A);
  for (auto _ : bench) benchmark::DoNotOptimize(BlockScanDumpText(table));
}
BENCHMARK(BM_DbsDumpText)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace dozered
