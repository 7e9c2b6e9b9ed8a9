// One step of the Flash RW page on the demo drives: a click on the page
// stepper, the Read of 33 sectors (a 16 KiB page and its spare sector) and
// the dump texts of both views. Also the read alone and the dumps alone, to
// tell the drive's share from the formatting's.
#include <benchmark/benchmark.h>

#include <memory>

#include "app/app_state.h"
#include "app/device_scan.h"
#include "app/feedback.h"
#include "device/aspi_lib.h"
#include "device/virtual_platform.h"
#include "flash/flash_rw.h"
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

// The demo's first drive (normal firmware, 850 cycles) or its worn and aged
// one (3,000 cycles, data a year old), both over SATA as in the demo.
std::unique_ptr<AppState> DemoState(bool worn) {
  auto state = std::make_unique<AppState>();
  sim::DriveConfig config;
  config.transport = sim::Transport::kSata;
  config.seed = worn ? 3000 : 4810;
  config.averageEraseCount = worn ? 3000 : 850;
  config.dataAgeHours = worn ? 8760 : 0;
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

// A block that arrived holding data, read at the start-up options.
FlashRwFields StepFields() {
  FlashRwFields fields;
  fields.Block = "0100";
  fields.Option = "21";
  fields.SectorIndex = 4;  // "16 K"
  return fields;
}

void BM_FlashRwPageStep(benchmark::State& bench) {
  auto state = DemoState(bench.range(0) != 0);
  SilentFeedback feedback;
  FlashRwFields fields = StepFields();
  size_t shown = 0;
  for (auto _ : bench) {
    if (fields.Page == "00FF") fields.Page = "0000";
    FlashOutcome out = FlashRwStep(*state, feedback, fields, FlashRwStepper::kPage, StepDirection::kUp);
    if (out.Status != FlashStatus::kDone) {
      bench.SkipWithError(out.Message.c_str());
      break;
    }
    shown = out.RawView->size() + out.SpareView->size();
    benchmark::DoNotOptimize(out);
  }
  bench.counters["view_chars"] = static_cast<double>(shown);
}
BENCHMARK(BM_FlashRwPageStep)->Arg(0)->Arg(1)->ArgName("worn")->Unit(benchmark::kMicrosecond);

void BM_FlashRwReadCommand(benchmark::State& bench) {
  auto state = DemoState(false);
  const FlashTarget target = ParseFlashTarget(StepFields());
  VE4810VO& controller = state->Controllers[0];
  FlashAddress address = target.Address;
  for (auto _ : bench) {
    address.page = (address.page + 1) & 0xFF;
    benchmark::DoNotOptimize(controller.ReadFlash(address, target.ReadSectors, state->FlashPageBuffer));
  }
}
BENCHMARK(BM_FlashRwReadCommand)->Unit(benchmark::kMicrosecond);

void BM_FlashRwViewDumps(benchmark::State& bench) {
  auto state = DemoState(false);
  const std::span<const uint8_t> buffer(state->FlashPageBuffer);
  for (auto _ : bench) {
    std::string raw = DumpLines(*state, buffer.first(16384));
    std::string spare = DumpLines(*state, buffer.subspan(16384, 512));
    benchmark::DoNotOptimize(raw);
    benchmark::DoNotOptimize(spare);
  }
}
BENCHMARK(BM_FlashRwViewDumps)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace dozered
