// Cost of one vendor command: the sector accesses and opens it makes (set
// against the protocol's minimum) and the time the transport spends on its
// own, apart from the time the drive takes to answer.
//
// Counters per command: accesses, sectors, opens, minimum (the accesses the
// protocol needs: save, five unlock reads, command, data phase, check, plus
// the restore on a drive that stores the block), drive_us and transport_us.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "device/plain_disk_drive.h"
#include "device/scsi_cdb.h"
#include "device/storage_device.h"
#include "device/virtual_platform.h"
#include "protocol/result_codes.h"
#include "protocol/ve4810vo.h"
#include "sim/simulated_drive.h"

namespace dozered {
namespace {

using Clock = std::chrono::steady_clock;

// Counts the sector accesses that reach the drive and the time it spends on
// every request.
class MeteredDrive : public VirtualDrive {
 public:
  explicit MeteredDrive(std::shared_ptr<VirtualDrive> inner) : inner_(std::move(inner)) {}

  bool ExecuteScsi(ScsiCommand& command, ScsiOutcome& outcome) override {
    if (command.cdb[0] == scsi::kOpRead10 || command.cdb[0] == scsi::kOpWrite10) {
      ++accesses;
      sectors += scsi::ReadWrite10Count(command.cdb);
    }
    const auto start = Clock::now();
    const bool ok = inner_->ExecuteScsi(command, outcome);
    driveTime += Clock::now() - start;
    return ok;
  }
  bool ExecuteAta(AtaCommand& command) override {
    if (command.current.command == 0xC8 || command.current.command == 0xCA) {
      ++accesses;
      sectors += command.current.sectorCount == 0 ? 256 : command.current.sectorCount;
    }
    const auto start = Clock::now();
    const bool ok = inner_->ExecuteAta(command);
    driveTime += Clock::now() - start;
    return ok;
  }
  bool ExecuteNvmeAdmin(NvmeAdminCommand& command) override { return inner_->ExecuteNvmeAdmin(command); }

  int64_t accesses = 0;
  int64_t sectors = 0;
  Clock::duration driveTime{};

 private:
  std::shared_ptr<VirtualDrive> inner_;
};

// A drive that stores command blocks as data: an ordinary disk that carries
// the signature at offset 46 of sector 0x55AA.
std::shared_ptr<VirtualDrive> StoringDrive() {
  PlainDiskOptions options;
  options.answersAta = true;
  auto disk = std::make_shared<PlainDiskDrive>(options);
  uint8_t sector[512] = {};
  std::memcpy(sector + 46, "VE4810VO", 8);
  disk->WriteSector(0x55AA, sector);
  return disk;
}

// The simulated controller, which takes the commands.
std::shared_ptr<VirtualDrive> SimulatedDrive(int cardMode) {
  sim::DriveConfig config;
  config.cardMode = cardMode;
  return std::make_shared<sim::SimulatedDrive>(config);
}

struct Rig {
  explicit Rig(std::shared_ptr<VirtualDrive> drive) : metered(std::make_shared<MeteredDrive>(drive)) {
    platform.AddDisk(VirtualDisk{"bench", metered, {}});
    record = std::make_unique<StorageDevice>(platform);
    record->OpenByNumber(0);
    record->Close();
    controller.Device = record.get();
  }
  std::shared_ptr<MeteredDrive> metered;
  VirtualPlatform platform;
  std::unique_ptr<StorageDevice> record;
  VE4810VO controller;
};

using Send = std::function<int32_t(VE4810VO&, std::vector<uint8_t>&)>;

void RunCommand(benchmark::State& state, std::shared_ptr<VirtualDrive> drive, const Send& send,
                int64_t dataAccesses, bool storesBlocks, bool heldOpen) {
  Rig rig(std::move(drive));
  if (heldOpen) rig.record->Open(true);
  std::vector<uint8_t> buffer(128 * 512);
  for (size_t i = 0; i < buffer.size(); ++i) buffer[i] = static_cast<uint8_t>(i * 37 + 11);
  int64_t opens = 0;
  int32_t result = 0;
  const auto start = Clock::now();
  for (auto _ : state) {
    rig.platform.ClearCalls();
    result = send(rig.controller, buffer);
    for (const auto& call : rig.platform.Calls()) opens += call.operation == "open";
  }
  const auto total = Clock::now() - start;
  if (result != kResultSuccess) state.SkipWithError("command failed");
  const double n = static_cast<double>(state.iterations());
  // LBA 0, save, five unlock reads, command, data phase, check, and the
  // restore when the drive stored the block. The record opens itself for
  // the read of LBA 0 when nobody holds it open, and the exchange once more.
  const int64_t minimum = 1 + 1 + 5 + 1 + dataAccesses + 1 + (storesBlocks ? 1 : 0);
  state.counters["minimum_opens"] = heldOpen ? 0 : 2;
  const double driveUs = std::chrono::duration<double, std::micro>(rig.metered->driveTime).count();
  state.counters["accesses"] = static_cast<double>(rig.metered->accesses) / n;
  state.counters["minimum"] = static_cast<double>(minimum);
  state.counters["sectors"] = static_cast<double>(rig.metered->sectors) / n;
  state.counters["opens"] = static_cast<double>(opens) / n;
  state.counters["drive_us"] = driveUs / n;
  state.counters["transport_us"] =
      (std::chrono::duration<double, std::micro>(total).count() - driveUs) / n;
}

const Send kReadFlashId = [](VE4810VO& c, std::vector<uint8_t>& b) { return c.ReadFlashId(4, b); };
const Send kReadSmart = [](VE4810VO& c, std::vector<uint8_t>& b) { return c.ReadSmart(0xD0, b); };
const Send kReadFlash = [](VE4810VO& c, std::vector<uint8_t>& b) {
  return c.ReadFlash(FlashAddress{0x0123, 0x0045, 0, 0x21, 0x00}, 33, b);
};
const Send kSetFlashClock = [](VE4810VO& c, std::vector<uint8_t>&) { return c.SetFlashClock(0x10); };
const Send kDownloadCode = [](VE4810VO& c, std::vector<uint8_t>& b) {
  return c.DownloadCode(0x10000, 128, std::span<const uint8_t>(b));
};

// On the simulated controller (normal firmware; ROM code mode for the
// download), which takes every command: no restore.
void BM_Sim_ReadFlashId_Closed(benchmark::State& s) { RunCommand(s, SimulatedDrive(2), kReadFlashId, 1, false, false); }
void BM_Sim_ReadFlashId_HeldOpen(benchmark::State& s) { RunCommand(s, SimulatedDrive(2), kReadFlashId, 1, false, true); }
void BM_Sim_ReadSmart_Closed(benchmark::State& s) { RunCommand(s, SimulatedDrive(2), kReadSmart, 1, false, false); }
void BM_Sim_ReadFlash33_Closed(benchmark::State& s) { RunCommand(s, SimulatedDrive(2), kReadFlash, 1, false, false); }
void BM_Sim_SetFlashClock_Closed(benchmark::State& s) { RunCommand(s, SimulatedDrive(2), kSetFlashClock, 1, false, false); }
void BM_Sim_DownloadCode128_Closed(benchmark::State& s) { RunCommand(s, SimulatedDrive(0), kDownloadCode, 1, false, false); }

// On a drive that stores every command block as data: each command ends in
// the restore of the command address.
void BM_Storing_ReadFlashId_Closed(benchmark::State& s) { RunCommand(s, StoringDrive(), kReadFlashId, 1, true, false); }
void BM_Storing_ReadFlashId_HeldOpen(benchmark::State& s) { RunCommand(s, StoringDrive(), kReadFlashId, 1, true, true); }
void BM_Storing_DownloadCode128_Closed(benchmark::State& s) { RunCommand(s, StoringDrive(), kDownloadCode, 1, true, false); }

BENCHMARK(BM_Sim_ReadFlashId_Closed);
BENCHMARK(BM_Sim_ReadFlashId_HeldOpen);
BENCHMARK(BM_Sim_ReadSmart_Closed);
BENCHMARK(BM_Sim_ReadFlash33_Closed);
BENCHMARK(BM_Sim_SetFlashClock_Closed);
BENCHMARK(BM_Sim_DownloadCode128_Closed);
BENCHMARK(BM_Storing_ReadFlashId_Closed);
BENCHMARK(BM_Storing_ReadFlashId_HeldOpen);
BENCHMARK(BM_Storing_DownloadCode128_Closed);

}  // namespace
}  // namespace dozered
