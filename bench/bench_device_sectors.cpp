// Sector reads through StorageDevice: the cost of one READ(10) on the
// Virtual platform (the record's request building and the plain disk) and,
// on Linux, through the plain-I/O path of an image file (writes made durable
// with fdatasync) and of a loop device (direct I/O; needs root).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <memory>
#include <vector>

#include "device/plain_disk_drive.h"
#include "device/storage_device.h"
#include "device/virtual_platform.h"

#ifdef __linux__
#include <unistd.h>

#include "device/linux_storage_platform.h"
#endif

namespace dozered {
namespace {

void BM_VirtualReadSector(benchmark::State& state) {
  VirtualPlatform platform;
  VirtualDisk virtualDisk;
  virtualDisk.drive = std::make_shared<PlainDiskDrive>();
  platform.AddDisk(virtualDisk);
  StorageDevice record(platform);
  record.OpenByNumber(0);
  const bool holdOpen = state.range(0) != 0;
  if (holdOpen) record.Open(false);
  std::vector<uint8_t> sector(512);
  for (auto _ : state) {
    benchmark::DoNotOptimize(record.ReadSectors(0x55AA, 1, sector.data()));
    platform.ClearCalls();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_VirtualReadSector)->Arg(0)->Arg(1)->ArgName("held_open");

#ifdef __linux__
void BM_LinuxImageReadSector(benchmark::State& state) {
  char name[] = "/tmp/dzbenchXXXXXX";
  const int fd = mkstemp(name);
  if (fd < 0 || ftruncate(fd, 1 << 20) != 0) {
    state.SkipWithError("no image file");
    return;
  }
  close(fd);
  {
    LinuxStoragePlatform platform({name});
    StorageDevice record(platform);
    record.OpenByNumber(0);
    const bool holdOpen = state.range(0) != 0;
    if (holdOpen) record.Open(false);
    std::vector<uint8_t> sector(512);
    for (auto _ : state) benchmark::DoNotOptimize(record.ReadSectors(0xAA, 1, sector.data()));
    state.SetItemsProcessed(state.iterations());
  }
  std::remove(name);
}
BENCHMARK(BM_LinuxImageReadSector)->Arg(0)->Arg(1)->ArgName("held_open");

void BM_LinuxImageWriteSector(benchmark::State& state) {
  char name[] = "/tmp/dzbenchXXXXXX";
  const int fd = mkstemp(name);
  if (fd < 0 || ftruncate(fd, 1 << 20) != 0) {
    state.SkipWithError("no image file");
    return;
  }
  close(fd);
  {
    LinuxStoragePlatform platform({name});
    StorageDevice record(platform);
    record.OpenByNumber(0);
    record.Open(false);
    std::vector<uint8_t> sector(512, 0x5A);
    for (auto _ : state) benchmark::DoNotOptimize(record.WriteSectors(0xAA, 1, sector.data()));
    state.SetItemsProcessed(state.iterations());
  }
  std::remove(name);
}
BENCHMARK(BM_LinuxImageWriteSector);

// One sector read (0) or written (1) on a loop device held open.
void BM_LinuxLoopSector(benchmark::State& state) {
  char name[] = "/tmp/dzbenchXXXXXX";
  const int fd = mkstemp(name);
  if (geteuid() != 0 || fd < 0 || ftruncate(fd, 1 << 20) != 0) {
    if (fd >= 0) close(fd);
    std::remove(name);
    state.SkipWithError("loop devices need root");
    return;
  }
  close(fd);
  char device[64] = {};
  FILE* pipe = popen((std::string("losetup --find --show ") + name + " 2>/dev/null").c_str(), "r");
  const bool attached = pipe != nullptr && std::fgets(device, sizeof device, pipe) != nullptr;
  if (pipe != nullptr) pclose(pipe);
  std::string path = device;
  while (!path.empty() && path.back() == '\n') path.pop_back();
  if (attached && path.rfind("/dev/loop", 0) == 0) {
    LinuxStoragePlatform platform({path});
    StorageDevice record(platform);
    record.OpenByNumber(0);
    record.Open(false);
    std::vector<uint8_t> sector(512, 0x5A);
    const bool write = state.range(0) != 0;
    for (auto _ : state) {
      benchmark::DoNotOptimize(write ? record.WriteSectors(0xAA, 1, sector.data())
                                     : record.ReadSectors(0xAA, 1, sector.data()));
    }
    state.SetItemsProcessed(state.iterations());
  } else {
    state.SkipWithError("no loop device");
  }
  if (!path.empty() && std::system(("losetup -d " + path + " 2>/dev/null").c_str()) != 0) {
    state.SkipWithError("the loop device could not be detached");
  }
  std::remove(name);
}
BENCHMARK(BM_LinuxLoopSector)->Arg(0)->Arg(1)->ArgName("write");
#endif

}  // namespace
}  // namespace dozered
