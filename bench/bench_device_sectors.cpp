// Sector reads through StorageDevice: the cost of one READ(10) on the
// Virtual platform (the record's request building and the plain disk) and,
// on Linux, through the plain-I/O path of an image file.
#include <benchmark/benchmark.h>

#include <cstdio>
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
#endif

}  // namespace
}  // namespace dozered
