// "Save Info" on a simulated drive like the demo's: every page read, the
// erase-count export (a second table read) and every file of the log folder
// written, in a temporary working directory. The bad-block read is included
// where the build has one (DefaultSaveInfoHooks).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <random>

#include "app/app_state.h"
#include "app/device_scan.h"
#include "app/feedback.h"
#include "device/aspi_lib.h"
#include "device/virtual_platform.h"
#include "reports/save_info.h"
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
  config.cardMode = 2;
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

void BM_SaveInfo(benchmark::State& bench) {
  const std::filesystem::path previous = std::filesystem::current_path();
  const std::filesystem::path work =
      std::filesystem::temp_directory_path() / ("dozered-bench-" + std::to_string(std::random_device{}()));
  std::filesystem::create_directories(work);
  std::filesystem::current_path(work);
  auto state = DemoState();
  SilentFeedback feedback;
  const SaveInfoHooks hooks = DefaultSaveInfoHooks();
  int day = 1;
  for (auto _ : bench) {
    // A new day every 900 logs keeps the folder search short.
    SaveInfoOutcome out = SaveInfo(*state, feedback, LocalDate{1, 1 + (day++ / 900) % 28}, hooks);
    benchmark::DoNotOptimize(out);
  }
  std::filesystem::current_path(previous);
  std::error_code ec;
  std::filesystem::remove_all(work, ec);
}
BENCHMARK(BM_SaveInfo)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace dozered
