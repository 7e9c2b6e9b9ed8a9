// The bad-block read of the "Flash Diagnosis" page and a DumpISP of the
// Flash RW page, on the demo's worn and aged drive (3,000 cycles, data a
// year old) and on its fresh one. The drive runs its MPISP code, which
// answers both reads without diagnostic programs, so the figures are the
// reads and their views alone.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "app/app_state.h"
#include "app/device_scan.h"
#include "app/feedback.h"
#include "device/aspi_lib.h"
#include "device/virtual_platform.h"
#include "flash/bad_block.h"
#include "flash/code_dump.h"
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

std::unique_ptr<AppState> DemoState(bool worn) {
  auto state = std::make_unique<AppState>();
  sim::DriveConfig config;
  config.transport = sim::Transport::kSata;
  config.cardMode = 1;
  config.seed = worn ? 3000 : 2024;
  config.averageEraseCount = worn ? 3000 : 12;
  config.dataAgeHours = worn ? 8760 : 24;
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

void BM_BadBlockRead(benchmark::State& bench) {
  auto state = DemoState(bench.range(0) != 0);
  SilentFeedback feedback;
  BadBlockViews views;
  WriteBadBlockGridHeaders(views);
  size_t rows = 0;
  for (auto _ : bench) {
    BadBlockReadOutcome out = ReadBadBlocks(*state, feedback, views);
    if (out.Status != FlashStatus::kDone) {
      bench.SkipWithError(out.Message.c_str());
      break;
    }
    rows = views.TotalList.size();
    benchmark::DoNotOptimize(out);
  }
  bench.counters["total_rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_BadBlockRead)->Arg(0)->Arg(1)->ArgName("worn")->Unit(benchmark::kMillisecond);

// One click of "DumpISP": both copies of the code blocks at every populated
// position, into a fresh folder each time (removed outside the timing).
void BM_DumpIsp(benchmark::State& bench) {
  auto state = DemoState(bench.range(0) != 0);
  SilentFeedback feedback;
  DumpPlace place;
  std::error_code error;
  place.Base = std::filesystem::temp_directory_path(error) / ("dozered_bench_dump_" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  std::filesystem::create_directories(place.Base, error);
  place.Today = [] { return LocalDate{12, 9}; };
  int files = 0;
  for (auto _ : bench) {
    DumpOutcome out = DumpControllerArea(*state, feedback, DumpKind::kIsp, place);
    if (out.Status != FlashStatus::kDone) {
      bench.SkipWithError("dump failed");
      break;
    }
    files = out.FilesWritten;
    bench.PauseTiming();
    std::filesystem::remove_all(out.Folder, error);
    bench.ResumeTiming();
  }
  std::filesystem::remove_all(place.Base, error);
  bench.counters["files"] = files;
}
BENCHMARK(BM_DumpIsp)->Arg(0)->Arg(1)->ArgName("worn")->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace dozered
