// A full read-distribution measurement without strong mode on the demo's
// fresh and worn, aged drives: both passes, three reference sweeps of 42
// levels each at step 3, through the tool's operation. The counter "drive"
// is the share of the time spent inside the simulated drive (its firmware,
// the cell model and the sector protocol); the rest is the tool.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <unistd.h>

#include "app/app_state.h"
#include "app/code_loading.h"
#include "app/device_scan.h"
#include "app/feedback.h"
#include "device/aspi_lib.h"
#include "device/virtual_platform.h"
#include "flash/distribution.h"
#include "sim/code_images.h"
#include "sim/simulated_drive.h"
#include "sim/virtual_drives_ini.h"

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

// Adds up the time the drive behind it takes to answer.
class TimedDrive : public VirtualDrive {
 public:
  explicit TimedDrive(std::shared_ptr<VirtualDrive> inner) : inner_(std::move(inner)) {}
  bool ExecuteScsi(ScsiCommand& command, ScsiOutcome& outcome) override { return Timed([&] { return inner_->ExecuteScsi(command, outcome); }); }
  bool ExecuteAta(AtaCommand& command) override { return Timed([&] { return inner_->ExecuteAta(command); }); }
  bool ExecuteNvmeAdmin(NvmeAdminCommand& command) override { return Timed([&] { return inner_->ExecuteNvmeAdmin(command); }); }
  std::chrono::nanoseconds spent{0};

 private:
  template <typename F>
  bool Timed(F f) {
    const auto start = std::chrono::steady_clock::now();
    const bool r = f();
    spent += std::chrono::steady_clock::now() - start;
    return r;
  }
  std::shared_ptr<VirtualDrive> inner_;
};

struct Rig {
  std::unique_ptr<AppState> state = std::make_unique<AppState>();
  std::shared_ptr<TimedDrive> drive;
  uint16_t dataBlock = 0;  // an F-block that arrived holding data
  std::filesystem::path folder;
  ~Rig() {
    state.reset();
    std::error_code error;
    std::filesystem::remove_all(folder, error);
  }
};

// The demo drive whose section names `which`, alone on a Virtual platform,
// with its distribution program beside a stand-in executable.
std::unique_ptr<Rig> DemoDrive(const char* which) {
  auto rig = std::make_unique<Rig>();
  std::ifstream ini(std::filesystem::path(DOZERED_DEMO_DIR) / "VirtualDrives.ini", std::ios::binary);
  std::stringstream text;
  text << ini.rdbuf();
  rig->folder = std::filesystem::temp_directory_path() / ("dozered-bench-distribution-" + std::to_string(::getpid()));
  for (sim::DriveDeclaration& d : sim::ParseVirtualDrivesIni(text.str(), rig->folder.string())) {
    if (d.config.label.find(which) == std::string::npos) continue;
    d.config.stateFile.clear();
    d.config.transport = sim::Transport::kScsi;
    auto simulated = std::make_shared<sim::SimulatedDrive>(d.config);
    const sim::DriveModel& model = simulated->model();
    for (int fblock = sim::kEraseCountStartBlock; fblock < 4096; ++fblock) {
      if (model.flash.InitialContentOf(model.layout.BlockOfFBlock(fblock, 0, 0, 0)) == sim::InitialContent::kData) {
        rig->dataBlock = static_cast<uint16_t>(fblock);
        break;
      }
    }
    rig->drive = std::make_shared<TimedDrive>(simulated);
  }
  if (!rig->drive) return nullptr;
  VirtualDisk disk;
  disk.drive = rig->drive;
  std::vector<VirtualDisk> disks;
  disks.push_back(std::move(disk));
  AppState& state = *rig->state;
  state.Platform = std::make_unique<VirtualPlatform>(std::move(disks));
  state.Enumerator = std::make_unique<AspiLib>(*state.Platform);
  ResetEnumerator(state);
  ScanForControllers(state);
  FinishScan(state);
  state.ExecutableDir = rig->folder / "exe";
  std::array<uint8_t, 16> isp{};
  std::copy_n(state.IspInfoTable[0].begin() + 404, 16, isp.begin());
  const auto file = sim::BuildDiagnosticFile(sim::DiagnosticKind::kReadDistribution, isp, true);
  const auto path = DiagnosticCodePathFor(state, 0, kDgIspReadDistribution);
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  return rig;
}

void Measure(benchmark::State& bench, const char* which, bool views) {
  auto rig = DemoDrive(which);
  if (!rig || rig->state->SelectedDevice != 0) {
    bench.SkipWithError("demo drive not found");
    return;
  }
  SilentFeedback feedback;
  FlashAddressFields fields;
  char block[8];
  std::snprintf(block, sizeof block, "%04X", rig->dataBlock);
  fields.Block = block;
  fields.Page = "0068";
  fields.Option = "21";
  size_t points = 0;
  size_t viewBytes = 0;
  const DistributionViews show = [&](const FlashOutcome& v) { viewBytes += v.RawView->size(); };
  rig->drive->spent = {};
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : bench) {
    const DistributionOutcome out = MeasureDistribution(*rig->state, feedback, fields, "3", views ? show : DistributionViews());
    points = out.Series[0].size() + out.Series[1].size() + out.Series[2].size();
    benchmark::DoNotOptimize(out);
  }
  const auto total = std::chrono::steady_clock::now() - start;
  bench.counters["points"] = static_cast<double>(points);
  bench.counters["drive"] = static_cast<double>(rig->drive->spent.count()) / static_cast<double>(total.count());
}

void BM_DistributionFresh(benchmark::State& bench) { Measure(bench, "fresh flash", false); }
void BM_DistributionWorn(benchmark::State& bench) { Measure(bench, "worn and aged", false); }
// With the Flash RW views made after every level, as the window shows them.
void BM_DistributionWornWithViews(benchmark::State& bench) { Measure(bench, "worn and aged", true); }
BENCHMARK(BM_DistributionFresh)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DistributionWorn)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DistributionWornWithViews)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace dozered
