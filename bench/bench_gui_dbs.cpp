// A DBS of the demo drive's 2,048 blocks through the window: a click on
// "DBS" in the main window (offscreen platform), the scan with the event
// loop turning before every step, the gauge, the status line and the result
// dump in the memo. Reports the time of the whole click and, from the
// window's own event-loop turns, the longest time the window went without
// one: between two turns during the scan, and at either end of it (from the
// click to the first turn, from the last turn to the end of the handler).
// Each gap is measured twice: in wall time, and in the CPU time of the
// window's thread, which leaves out the time the process waited for a core
// on a busy machine. The 99th percentile of the wall-time gaps is reported
// too.
#include <QApplication>
#include <QPushButton>
#include <QTabWidget>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include "app/app_state.h"
#include "app/gui/main_form.h"
#include "app/page_table.h"
#include "device/aspi_lib.h"
#include "device/virtual_platform.h"
#include "flash/gui/dbs_dps_page.h"
#include "sim/simulated_drive.h"

namespace dozered {
namespace {

using Clock = std::chrono::steady_clock;

// CPU time of the calling thread, in milliseconds.
double ThreadCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// The main window, noting the time of every turn of its event loop.
class TimedMainForm : public TMainForm {
 public:
  using TMainForm::TMainForm;
  void ProcessPendingEvents() override {
    turns.push_back(Clock::now());
    cpu.push_back(ThreadCpuMs());
    TMainForm::ProcessPendingEvents();
  }
  std::vector<Clock::time_point> turns;
  std::vector<double> cpu;
};

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

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
  return state;
}

void BM_DbsThroughTheWindow(benchmark::State& bench) {
  auto state = DemoState();
  StartupFiles files;
  files.StringIni = std::filesystem::path(DOZERED_DEMO_DIR) / "String.ini";
  files.TabSheetIni = std::filesystem::path(DOZERED_DEMO_DIR) / "TabSheet.ini";
  TimedMainForm form(*state, files);
  form.SetMessageBoxHandler([](const std::string&, const std::string&, MessageIcon) {});
  form.FormCreate();
  form.resize(1260, 820);
  form.show();
  form.PC_Main->setCurrentIndex(kPageDbsDps);
  QApplication::processEvents();
  if (state->SelectedDevice < 0) {
    bench.SkipWithError("no demo drive");
    return;
  }
  QPushButton* dbs = form.DbsDpsPage->BTN_DBS;

  double longestBetween = 0;
  double longestAtEnds = 0;
  double longestCpu = 0;
  double turns = 0;
  std::vector<double> gaps;
  for (auto _ : bench) {
    form.turns.clear();
    form.cpu.clear();
    const Clock::time_point start = Clock::now();
    const double startCpu = ThreadCpuMs();
    dbs->click();
    const Clock::time_point end = Clock::now();
    const double endCpu = ThreadCpuMs();
    if (form.turns.size() < 2) {
      bench.SkipWithError("the scan did not run");
      return;
    }
    for (size_t i = 1; i < form.turns.size(); ++i) {
      gaps.push_back(Ms(form.turns[i] - form.turns[i - 1]));
      longestBetween = std::max(longestBetween, gaps.back());
      longestCpu = std::max(longestCpu, form.cpu[i] - form.cpu[i - 1]);
    }
    longestAtEnds = std::max({longestAtEnds, Ms(form.turns.front() - start), Ms(end - form.turns.back())});
    longestCpu = std::max({longestCpu, form.cpu.front() - startCpu, endCpu - form.cpu.back()});
    turns = static_cast<double>(form.turns.size());
  }
  bench.counters["turns"] = turns;
  bench.counters["longest_gap_ms"] = longestBetween;
  bench.counters["longest_end_ms"] = longestAtEnds;
  bench.counters["longest_cpu_ms"] = longestCpu;
  std::sort(gaps.begin(), gaps.end());
  if (!gaps.empty()) bench.counters["gap_p99_ms"] = gaps[gaps.size() * 99 / 100];
}
BENCHMARK(BM_DbsThroughTheWindow)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace
}  // namespace dozered

int main(int argc, char** argv) {
  // Offscreen unless a display was asked for.
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
