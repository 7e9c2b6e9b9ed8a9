// Chunk ECC and LBA translation on the demo's worn and aged drive (normal
// firmware, so every run loads its diagnostic program first): the range run
// over 1, 16 and 256 pages, the text of one answer alone, and the two
// translations (the L2P list, and the Flash RW LBA mode with the settings'
// "OK" action).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app/app_state.h"
#include "app/code_loading.h"
#include "app/device_scan.h"
#include "app/feedback.h"
#include "device/aspi_lib.h"
#include "device/virtual_platform.h"
#include "flash/chunk_ecc.h"
#include "flash/lba_translation.h"
#include "protocol/result_codes.h"
#include "sim/code_images.h"
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

struct Demo {
  std::unique_ptr<AppState> state = std::make_unique<AppState>();
  std::filesystem::path folder;
  ~Demo() {
    std::error_code error;
    std::filesystem::remove_all(folder, error);
  }
};

// The worn and aged demo drive over SATA, its programs beside a temporary
// executable folder, and 64 sectors written by the host at LBA 4096.
std::unique_ptr<Demo> WornDemo() {
  auto demo = std::make_unique<Demo>();
  AppState& state = *demo->state;
  sim::DriveConfig config;
  config.transport = sim::Transport::kSata;
  config.seed = 3000;
  config.cardMode = 2;
  config.averageEraseCount = 3000;
  config.dataAgeHours = 8760;
  auto drive = std::make_shared<sim::SimulatedDrive>(config);
  VirtualDisk disk;
  disk.drive = drive;
  disk.options.port = 1;
  std::vector<VirtualDisk> disks;
  disks.push_back(std::move(disk));
  state.Platform = std::make_unique<VirtualPlatform>(std::move(disks));
  state.Enumerator = std::make_unique<AspiLib>(*state.Platform);
  ResetEnumerator(state);
  ScanForControllers(state);
  FinishScan(state);
  demo->folder = std::filesystem::temp_directory_path() / ("dozered-bench-ecc-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  state.ExecutableDir = demo->folder;
  for (auto [kind, name] : {std::pair{sim::DiagnosticKind::kReadChunkEcc, kDgIspReadChunkEcc},
                            std::pair{sim::DiagnosticKind::kTranLba2Pba, kDgIspTranLba2Pba}}) {
    const auto file = sim::BuildDiagnosticFile(kind, drive->model().identity.ispVersion, false);
    for (const auto& place : {state.ExecutableDir / name, DiagnosticCodePathFor(state, 0, name)}) {
      std::filesystem::create_directories(place.parent_path());
      std::ofstream(place, std::ios::binary)
          .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    }
  }
  std::vector<uint8_t> data(64 * 512, 0x3C);
  VE4810VO& controller = state.Controllers[0];
  controller.Open(true);
  controller.WriteSectors(4096, 64, data.data());
  controller.Close();
  return demo;
}

void BM_ChunkEccRangeRun(benchmark::State& bench) {
  auto demo = WornDemo();
  SilentFeedback feedback;
  ChunkEccFields fields;
  fields.StartBlock = "0100";
  fields.EndBlock = "0100";
  fields.StartPage = "000";
  char end[8];
  std::snprintf(end, sizeof end, "%03X", static_cast<unsigned>(bench.range(0) - 1));
  fields.EndPage = end;
  fields.Ce = "0";
  fields.Ch = "0";
  size_t chars = 0;
  for (auto _ : bench) {
    FlashOutcome out = RunChunkEccRange(*demo->state, feedback, fields);
    if (out.Status != FlashStatus::kDone) {
      bench.SkipWithError(out.Message.c_str());
      break;
    }
    chars = out.RawView->size();
    benchmark::DoNotOptimize(out);
  }
  bench.counters["pages"] = benchmark::Counter(static_cast<double>(bench.range(0)), benchmark::Counter::kIsIterationInvariantRate);
  bench.counters["text_chars"] = static_cast<double>(chars);
}
BENCHMARK(BM_ChunkEccRangeRun)->Arg(1)->Arg(16)->Arg(256)->ArgName("pages")->Unit(benchmark::kMillisecond);

void BM_ChunkEccPageText(benchmark::State& bench) {
  const ChunkEccGeometry geometry;
  std::vector<uint8_t> answer(static_cast<size_t>(geometry.AnswerBytes()));
  for (size_t i = 0; i < answer.size(); ++i) answer[i] = static_cast<uint8_t>(i * 7 % 43);
  for (auto _ : bench) {
    std::string text = ChunkEccPageText(geometry, 0x100, 0x66, answer);
    benchmark::DoNotOptimize(text);
  }
}
BENCHMARK(BM_ChunkEccPageText)->Unit(benchmark::kMicrosecond);

void BM_TranslateLbaForList(benchmark::State& bench) {
  auto demo = WornDemo();
  SilentFeedback feedback;
  for (auto _ : bench) {
    L2pOutcome out = TranslateLbaForList(*demo->state, feedback, "4100");
    if (out.Rows.size() != 10) {
      bench.SkipWithError("not translated");
      break;
    }
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_TranslateLbaForList)->Unit(benchmark::kMicrosecond);

// The Flash RW translation, alternating between LBAs of two planes so that
// the option field changes and the page is read each time.
void BM_TranslateLbaForFlashRw(benchmark::State& bench) {
  auto demo = WornDemo();
  SilentFeedback feedback;
  FlashRwFields fields;
  fields.LbaMode = true;
  fields.SectorIndex = 4;  // "16 K"
  HeadlessSettingsDialog dialog(*demo->state, feedback);
  int i = 0;
  for (auto _ : bench) {
    fields.LbaIn = (i++ % 2) ? "4096" : "4159";
    FlashOutcome out = TranslateLbaForFlashRw(*demo->state, feedback, fields, dialog);
    if (out.Status != FlashStatus::kDone) {
      bench.SkipWithError(out.Message.c_str());
      break;
    }
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_TranslateLbaForFlashRw)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace dozered
