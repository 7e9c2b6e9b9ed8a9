// The simulated drive behind a loop device: one sector read or write, and
// one vendor command (ReadSmart: ten sector accesses), through the Linux
// platform and a loop device attached with direct I/O to a dozered-simd
// file, against the same on the Virtual platform. The difference is what
// FUSE and the loop device add to every sector access. Needs root and
// /dev/fuse; elsewhere each benchmark reports why it skipped.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/device_scan.h"
#include "app/startup/platform_setup.h"
#include "device/storage_device.h"
#include "support/temp_dir.h"

#ifdef __linux__
#include "device/linux_storage_platform.h"
#include "support/loop_devices.h"
#include "support/simd_daemon.h"
#endif

#ifndef DOZERED_SIMD_EXE
#define DOZERED_SIMD_EXE ""
#endif

namespace dozered {
namespace {

constexpr char kDrives[] =
    "[SATA SSD]\r\nKind=controller\r\nTransport=sata\r\nSeed=4810\r\nCardMode=2\r\n"
    "[Plain disk]\r\nKind=plain\r\nTransport=sata\r\nCapacitySectors=2048000\r\n";

#ifdef __linux__
// The daemon and the loop devices, set up once for all benchmarks.
struct Served {
  testing::TempDir dir;
  std::unique_ptr<testing::SimdDaemon> daemon;
  std::vector<std::unique_ptr<testing::LoopDevice>> loops;
  std::vector<std::string> paths;
  std::string problem;

  Served() {
    const std::string ini = dir.Write("VirtualDrives.ini", kDrives);
    daemon = std::make_unique<testing::SimdDaemon>(DOZERED_SIMD_EXE, ini);
    problem = daemon->problem();
    for (int n = 0; n < 2 && problem.empty(); ++n) {
      loops.push_back(std::make_unique<testing::LoopDevice>(daemon->File(n), "--direct-io=on"));
      problem = loops.back()->problem();
      paths.push_back(loops.back()->Device());
    }
  }
  ~Served() {
    loops.clear();
    daemon.reset();
  }
};

Served& Serve() {
  static Served served;
  return served;
}
#endif

// The state of a tool over the served drives (`loop`) or the same drives
// on the Virtual platform; null with `why` set when it cannot be made.
std::unique_ptr<AppState> Tool(bool loop, std::string& why, testing::TempDir& dir) {
  auto state = std::make_unique<AppState>();
  if (loop) {
#ifdef __linux__
    Served& served = Serve();
    if (!served.problem.empty()) {
      why = served.problem;
      return nullptr;
    }
    state->Platform = std::make_unique<LinuxStoragePlatform>(served.paths);
    state->Enumerator = std::make_unique<AspiLib>(*state->Platform);
#else
    why = "loop devices are Linux only";
    return nullptr;
#endif
  } else {
    SetUpStoragePlatform(*state, dir.Write("VirtualDrives.ini", kDrives));
  }
  return state;
}

void BM_SectorAccess(benchmark::State& state) {
  const bool loop = state.range(0) != 0;
  const bool write = state.range(1) != 0;
  testing::TempDir dir;
  std::string why;
  auto tool = Tool(loop, why, dir);
  if (!tool) {
    state.SkipWithError(why.c_str());
    return;
  }
  StorageDevice record(*tool->Platform);
  record.OpenByNumber(1);  // the plain disk
  record.Open(false);
  std::vector<uint8_t> sector(512, 0x5A);
  uint32_t lba = 0x1000;
  for (auto _ : state) {
    const bool ok = write ? record.WriteSectors(lba, 1, sector.data()) : record.ReadSectors(lba, 1, sector.data());
    if (!ok) {
      state.SkipWithError("sector access failed");
      break;
    }
    lba = 0x1000 + (lba + 1) % 4096;
  }
  record.Close();
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SectorAccess)->ArgNames({"loop", "write"})->Args({0, 0})->Args({1, 0})->Args({0, 1})->Args({1, 1})
    ->Unit(benchmark::kMicrosecond);

// One vendor command: the exchange's ten sector accesses and the reply.
void BM_ReadSmart(benchmark::State& state) {
  const bool loop = state.range(0) != 0;
  testing::TempDir dir;
  std::string why;
  auto tool = Tool(loop, why, dir);
  if (!tool) {
    state.SkipWithError(why.c_str());
    return;
  }
  ScanForControllers(*tool);
  if (tool->DeviceCount != 1) {
    state.SkipWithError("the controller drive was not found");
    return;
  }
  VE4810VO& controller = tool->Controllers[0];
  controller.Open(false);
  std::vector<uint8_t> reply(512);
  for (auto _ : state) {
    if (controller.ReadSmart(0xD0, reply) != 0) {
      state.SkipWithError("ReadSmart failed");
      break;
    }
  }
  controller.Close();
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadSmart)->ArgName("loop")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace dozered
