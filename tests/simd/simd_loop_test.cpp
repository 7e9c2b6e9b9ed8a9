// The simulated drives behind real block devices: dozered-simd serves them
// through FUSE, loop devices attached with direct I/O make disks of them,
// and the tool reaches them through the Linux platform's own open, lock and
// O_DIRECT path. What the tool reads there must equal what it reads from the
// same drives on the Virtual platform, down to the sector accesses the
// drives see. Needs root, /dev/fuse and losetup; skipped elsewhere.
#ifdef __linux__

#include <dirent.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/device_scan.h"
#include "app/page_read.h"
#include "app/page_table.h"
#include "app/startup/platform_setup.h"
#include "device/linux_storage_platform.h"
#include "device/storage_device.h"
#include "device/scsi_cdb.h"
#include "flash/block_scan.h"
#include "flash/flash_fields.h"
#include "protocol/result_codes.h"
#include "support/loop_devices.h"
#include "support/recording_feedback.h"
#include "support/simd_daemon.h"
#include "support/temp_dir.h"

#ifndef DOZERED_SIMD_EXE
#define DOZERED_SIMD_EXE ""
#endif

namespace dozered {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// Two controller drives (one that takes commands only at 0x0789) and a
// plain disk, each with its own state file and a trace of its accesses.
constexpr char kDrives[] =
    "[SATA SSD, normal firmware]\r\n"
    "Kind=controller\r\nTransport=sata\r\nSeed=4810\r\nCardMode=2\r\n"
    "Model=VE4810VO SSD 128GB\r\nFirmware=VO1.26A0\r\nIspFolder=V126\r\nIspTag=VE01\r\n"
    "Temperature=38\r\nAverageEraseCount=850\r\n"
    "StateFile=drive0.state\r\nTraceFile=drive0.trace\r\n"
    "[NVMe SSD, commands at 0x0789]\r\n"
    "Kind=controller\r\nTransport=nvme\r\nSeed=5150\r\nCardMode=2\r\nCommandAddress=0x0789\r\n"
    "Model=VE4810VO NVMe 128GB\r\nFirmware=VO1.26A0\r\nIspFolder=V126\r\nIspTag=VE01\r\n"
    "StateFile=drive1.state\r\nTraceFile=drive1.trace\r\n"
    "[Plain disk]\r\n"
    "Kind=plain\r\nTransport=sata\r\nSeed=1\r\nCapacitySectors=2048000\r\n"
    "StateFile=drive2.state\r\nTraceFile=drive2.trace\r\n";
constexpr int kDriveCount = 3;
constexpr int kControllerCount = 2;

int OpenDescriptorCount() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir) != nullptr) ++count;
    closedir(dir);
  }
  return count;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Trace lines from character `from` on, without their access numbers.
std::vector<std::string> TraceSince(const std::string& path, size_t from) {
  std::vector<std::string> lines;
  std::istringstream in(ReadText(path).substr(from));
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line.substr(line.find(' ') + 1));
  }
  return lines;
}

// The Linux platform, with a test acting between two sector transfers
// (READ(10) or WRITE(10)) of the tool. Everything goes to the platform
// unchanged.
class InterceptingPlatform : public StoragePlatform {
 public:
  explicit InterceptingPlatform(std::unique_ptr<LinuxStoragePlatform> inner) : inner_(std::move(inner)) {}

  // Runs `before` ahead of the `at`-th transfer from now (1: the next one).
  void Before(int at, std::function<void()> before) {
    at_ = transfers_ + at;
    before_ = std::move(before);
  }

  void DiskNames(int32_t n, std::string& path, std::string& name) override { inner_->DiskNames(n, path, name); }
  void VolumeNames(char l, std::string& path, std::string& name) override { inner_->VolumeNames(l, path, name); }
  std::string ScsiPortPath(int32_t port, const std::string& path) override { return inner_->ScsiPortPath(port, path); }
  PlatformHandle OpenPath(const std::string& path) override {
    const PlatformHandle handle = inner_->OpenPath(path);
    SetLastOpenError(inner_->LastOpenError());
    return handle;
  }
  void ClosePath(PlatformHandle h) override { inner_->ClosePath(h); }
  bool LockVolume(PlatformHandle h) override { return inner_->LockVolume(h); }
  bool DismountVolume(PlatformHandle h) override { return inner_->DismountVolume(h); }
  bool UnlockVolume(PlatformHandle h) override { return inner_->UnlockVolume(h); }
  bool IsVolumeMounted(PlatformHandle h) override { return inner_->IsVolumeMounted(h); }
  bool GetScsiAddress(PlatformHandle h, ScsiAddress& a) override { return inner_->GetScsiAddress(h, a); }
  bool GetVolumeDiskNumber(PlatformHandle h, int32_t& n) override { return inner_->GetVolumeDiskNumber(h, n); }
  ScsiPassThroughOutcome ScsiPassThrough(PlatformHandle h, const ScsiPassThroughRequest& request) override {
    if (request.cdb[0] == scsi::kOpRead10 || request.cdb[0] == scsi::kOpWrite10) {
      if (++transfers_ == at_ && before_) before_();
    }
    return inner_->ScsiPassThrough(h, request);
  }
  bool AtaPassThrough(PlatformHandle h, AtaPassThroughRequest& r) override { return inner_->AtaPassThrough(h, r); }
  bool NvmeMiniport(PlatformHandle h, uint8_t* b, uint32_t in, uint32_t out) override {
    return inner_->NvmeMiniport(h, b, in, out);
  }
  bool ListDiskNumbers(std::vector<int32_t>& numbers) override { return inner_->ListDiskNumbers(numbers); }
  uint32_t LogicalDrives() override { return inner_->LogicalDrives(); }
  bool RequestDriverPrivilege() override { return inner_->RequestDriverPrivilege(); }
  uint32_t OsMajorVersion() override { return inner_->OsMajorVersion(); }
  void PauseAfterScsiRequest(uint32_t ms) override { inner_->PauseAfterScsiRequest(ms); }
  std::string LastErrorText() const override { return inner_->LastErrorText(); }

 private:
  std::unique_ptr<LinuxStoragePlatform> inner_;
  int at_ = 0;
  std::function<void()> before_;
  int transfers_ = 0;
};

class SimdLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* side : {"served", "virtual"}) {
      fs::create_directories(dir_.Dir() / side);
      std::ofstream(dir_.Dir() / side / "VirtualDrives.ini", std::ios::binary) << kDrives;
    }
    daemon_ = std::make_unique<testing::SimdDaemon>(DOZERED_SIMD_EXE, Ini("served"));
    if (!daemon_->problem().empty()) GTEST_SKIP() << daemon_->problem();
    if (const std::string why = testing::LoopDevicesUnavailable(); !why.empty()) GTEST_SKIP() << why;
    for (int n = 0; n < kDriveCount; ++n) {
      loops_.push_back(std::make_unique<testing::LoopDevice>(daemon_->File(n), "--direct-io=on"));
      if (!loops_.back()->problem().empty()) GTEST_SKIP() << loops_.back()->problem();
      paths_.push_back(loops_.back()->Device());
    }
    // Whatever udev does with a new disk is over before the tool starts.
    testing::RunCommand("udevadm settle --timeout=10");
  }

  std::string Ini(const char* side) const { return (dir_.Dir() / side / "VirtualDrives.ini").string(); }
  std::string Trace(const char* side, int n) const {
    return (dir_.Dir() / side / ("drive" + std::to_string(n) + ".trace")).string();
  }
  size_t TraceSize(const char* side, int n) const { return ReadText(Trace(side, n)).size(); }

  // The tool over the loop devices, through `platform` (the Linux platform
  // over the loop devices when none is given).
  std::unique_ptr<AppState> LinuxState(std::unique_ptr<StoragePlatform> platform = nullptr) const {
    auto state = std::make_unique<AppState>();
    state->Platform = platform ? std::move(platform) : std::make_unique<LinuxStoragePlatform>(paths_);
    state->Enumerator = std::make_unique<AspiLib>(*state->Platform);
    state->ExecutableDir = DOZERED_BESIDE_EXE_DIR;
    return state;
  }
  // The tool over the same drives on the Virtual platform.
  std::unique_ptr<AppState> VirtualState(const char* side = "virtual") const {
    auto state = std::make_unique<AppState>();
    SetUpStoragePlatform(*state, Ini(side));
    state->ExecutableDir = DOZERED_BESIDE_EXE_DIR;
    return state;
  }

  static std::vector<std::string> Scan(AppState& state) {
    ScanForControllers(state);
    return FinishScan(state);
  }

  testing::TempDir dir_;
  std::unique_ptr<testing::SimdDaemon> daemon_;
  std::vector<std::unique_ptr<testing::LoopDevice>> loops_;
  std::vector<std::string> paths_;
};

// The scan finds the controller drives and reads the same records from
// them; every drive saw the same sector accesses on both platforms.
TEST_F(SimdLoopTest, ScanFindsTheSameDrivesAsOnTheVirtualPlatform) {
  std::vector<size_t> traceStart;
  for (int n = 0; n < kDriveCount; ++n) traceStart.push_back(TraceSize("served", n));
  auto onLinux = LinuxState();
  auto virt = VirtualState();
  const std::vector<std::string> linuxEntries = Scan(*onLinux);
  Scan(*virt);

  ASSERT_EQ(onLinux->DeviceCount, kControllerCount);
  ASSERT_EQ(virt->DeviceCount, kControllerCount);
  for (int i = 0; i < kControllerCount; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(onLinux->CardInfoTable[i], virt->CardInfoTable[i]);
    EXPECT_EQ(onLinux->IdentifyTable[i], virt->IdentifyTable[i]);
    EXPECT_EQ(onLinux->IspInfoTable[i], virt->IspInfoTable[i]);
    const std::string name = fs::path(paths_[static_cast<size_t>(i)]).filename().string();
    EXPECT_EQ(linuxEntries[static_cast<size_t>(i)].rfind(name + " (", 0), 0u) << linuxEntries[static_cast<size_t>(i)];
    // Loop devices take no SG_IO: the plain O_DIRECT path carried the scan.
    auto& platform = static_cast<LinuxStoragePlatform&>(*onLinux->Platform);
    EXPECT_EQ(platform.TransportOf(paths_[static_cast<size_t>(i)]), LinuxTransport::kPlainIo);
  }
  EXPECT_EQ(onLinux->Controllers[1].CommandAddress, virt->Controllers[1].CommandAddress);
  for (int n = 0; n < kDriveCount; ++n) {
    SCOPED_TRACE(n);
    const std::vector<std::string> served = TraceSince(Trace("served", n), traceStart[static_cast<size_t>(n)]);
    EXPECT_EQ(served, TraceSince(Trace("virtual", n), 0));
    if (n < kControllerCount) {
      EXPECT_FALSE(served.empty());
    }
  }
}


// Every information page reads the same on a loop device as on the Virtual
// platform: status, result, dump and decoded rows, and the drive sees the
// same sector accesses in the same order.
TEST_F(SimdLoopTest, InformationPagesReadTheSameOnBothPlatforms) {
  auto onLinux = LinuxState();
  auto virt = VirtualState();
  Scan(*onLinux);
  Scan(*virt);
  ASSERT_EQ(onLinux->DeviceCount, kControllerCount);
  ASSERT_EQ(virt->DeviceCount, kControllerCount);
  std::vector<size_t> served;
  std::vector<size_t> virtual_;
  for (int n = 0; n < kControllerCount; ++n) {
    served.push_back(TraceSize("served", n));
    virtual_.push_back(TraceSize("virtual", n));
  }
  const int pages[] = {kPageReadFlashId, kPageIdentifyTable, kPageSmartInfo, kPageCardInfo,
                       kPageEraseCount,  kPageCidOption,     kPageMarkBadInfo, kPageErrorLog};
  for (int device = 0; device < kControllerCount; ++device) {
    for (int page : pages) {
      SCOPED_TRACE(std::to_string(device) + " page " + std::to_string(page));
      onLinux->SelectedDevice = device;
      virt->SelectedDevice = device;
      testing::RecordingFeedback linuxFeedback;
      testing::RecordingFeedback virtualFeedback;
      const PageReadOutput got = ReadPageData(*onLinux, linuxFeedback, page);
      const PageReadOutput want = ReadPageData(*virt, virtualFeedback, page);
      EXPECT_EQ(got.Result, 0) << got.Message;
      EXPECT_NE(got.Status, PageReadStatus::kFailed) << got.Message;
      EXPECT_EQ(got.Status, want.Status);
      EXPECT_EQ(got.Result, want.Result);
      EXPECT_EQ(got.Message, want.Message);
      EXPECT_EQ(got.Dump, want.Dump);
      EXPECT_EQ(got.List, want.List);
      EXPECT_EQ(got.MarkBadCount, want.MarkBadCount);
      EXPECT_EQ(got.Temperature, want.Temperature);
      EXPECT_EQ(linuxFeedback.boxes, virtualFeedback.boxes);
    }
  }
  for (int n = 0; n < kControllerCount; ++n) {
    SCOPED_TRACE(n);
    EXPECT_EQ(TraceSince(Trace("served", n), served[static_cast<size_t>(n)]),
              TraceSince(Trace("virtual", n), virtual_[static_cast<size_t>(n)]));
  }
}

FlashAddress PageAddress(uint32_t block, uint32_t page) {
  FlashAddress address;
  address.block = block;
  address.page = page;
  address.option = 0x21;
  return address;
}

// A flash page erased, written and read back through the protocol layer:
// the page holds what was written, on both platforms alike.
TEST_F(SimdLoopTest, FlashPageWrittenIsReadBackOnBothPlatforms) {
  constexpr uint32_t kSectors = 33;  // a 16 KiB page and its spare sector
  Bytes written(kSectors * 512);
  for (size_t i = 0; i < written.size(); ++i) written[i] = static_cast<uint8_t>(i * 7 + i / 512);
  std::vector<Bytes> readBack;
  std::unique_ptr<AppState> states[] = {LinuxState(), VirtualState()};
  for (auto& state : states) {
    Scan(*state);
    ASSERT_EQ(state->DeviceCount, kControllerCount);
    VE4810VO& controller = state->Controllers[0];
    const FlashAddress address = PageAddress(0x40, 0);
    Bytes reply(512);
    ASSERT_EQ(controller.EraseFlash(address, 1, reply), kResultSuccess);
    ASSERT_EQ(controller.WriteFlash(address, kSectors, written), kResultSuccess);
    Bytes back(written.size());
    ASSERT_EQ(controller.ReadFlash(address, kSectors, back), kResultSuccess);
    readBack.push_back(back);
  }
  EXPECT_EQ(readBack[0], readBack[1]);
  EXPECT_TRUE(std::equal(written.begin(), written.begin() + 16384, readBack[0].begin()))
      << "the page's data is what was written";
}

// One read command per block, the drive held open around the run as a
// block scan does; stops at the first failure. The codes of the commands run.
std::vector<int32_t> ScanBlocks(VE4810VO& controller, uint32_t blocks) {
  std::vector<int32_t> codes;
  if (!controller.Open(false)) return {kResultOpenFailed};
  Bytes buffer(3 * 512);
  for (uint32_t block = 0; block < blocks; ++block) {
    codes.push_back(controller.ReadFlash(PageAddress(0x100 + block, 0), 3, buffer));
    if (codes.back() != kResultSuccess) break;
  }
  controller.Close();
  return codes;
}

// Whether loop device `device` is attached to `file`. Asked of the file, not
// of the node: once detached, the node may serve another test's file.
bool AttachedTo(const std::string& device, const std::string& file) {
  std::string backing = ReadText("/sys/block/" + fs::path(device).filename().string() + "/loop/backing_file");
  while (!backing.empty() && backing.back() == '\n') backing.pop_back();
  return backing == file;
}

// `losetup -d` on a disk the tool holds open only marks it for detaching:
// the kernel keeps it until its last user lets go. The run goes on and
// ends well; once the tool lets go (at the next scan, or when it ends) the
// disk is gone, and no descriptor is left behind.
TEST_F(SimdLoopTest, LoopDeviceDetachedDuringARunGoesOnceTheToolLetsGo) {
  const int descriptors = OpenDescriptorCount();
  {
    auto intercepting = std::make_unique<InterceptingPlatform>(std::make_unique<LinuxStoragePlatform>(paths_));
    InterceptingPlatform& platform = *intercepting;
    auto state = LinuxState(std::move(intercepting));
    Scan(*state);
    ASSERT_EQ(state->DeviceCount, kControllerCount);
    bool detached = false;
    // In the middle of the 17th command: after its command write.
    platform.Before(16 * 10 + 8, [&] { detached = testing::RunCommand("losetup -d " + paths_[0]); });
    const std::vector<int32_t> codes = ScanBlocks(state->Controllers[0], 32);
    EXPECT_TRUE(detached);
    EXPECT_EQ(codes, std::vector<int32_t>(32, kResultSuccess));
    EXPECT_TRUE(AttachedTo(paths_[0], daemon_->File(0))) << "detached while the tool holds it";
  }
  // Detaching completes asynchronously; a bound, not a measure.
  for (int i = 0; i < 500 && AttachedTo(paths_[0], daemon_->File(0)); ++i) usleep(10000);
  EXPECT_FALSE(AttachedTo(paths_[0], daemon_->File(0))) << "the disk went once the tool let go";
  loops_[0]->Release();
  EXPECT_EQ(OpenDescriptorCount(), descriptors);
}

// The drive server going away in the middle of a run (the drive pulled):
// the command in flight and the run fail with a code, nothing hangs, no
// descriptor is left behind, and the server still shuts down cleanly with
// the disk attached and open.
struct StopPoint {
  int at;        // the server stops before this transfer of the run
  int32_t code;  // what the command in flight gives
};

void PrintTo(const StopPoint& point, std::ostream* os) { *os << "stop before transfer " << point.at; }

class SimdStopTest : public SimdLoopTest, public ::testing::WithParamInterface<StopPoint> {};

TEST_P(SimdStopTest, DriveServerStoppedDuringARunFailsTheRun) {
  const int at = GetParam().at;
  const int descriptors = OpenDescriptorCount();
  int exitStatus = -2;
  {
    auto intercepting = std::make_unique<InterceptingPlatform>(std::make_unique<LinuxStoragePlatform>(paths_));
    InterceptingPlatform& platform = *intercepting;
    auto state = LinuxState(std::move(intercepting));
    Scan(*state);
    ASSERT_EQ(state->DeviceCount, kControllerCount);
    platform.Before(at, [&] { exitStatus = daemon_->Stop(); });
    const std::vector<int32_t> codes = ScanBlocks(state->Controllers[0], 8);
    const size_t failing = static_cast<size_t>((at - 1) / 10);
    ASSERT_EQ(codes.size(), failing + 1);
    EXPECT_EQ(std::vector<int32_t>(codes.begin(), codes.end() - 1), std::vector<int32_t>(failing, kResultSuccess));
    EXPECT_EQ(codes.back(), GetParam().code);
    // The next scan finds no drive behind the loop devices.
    Scan(*state);
    EXPECT_EQ(state->DeviceCount, 0);
  }
  EXPECT_EQ(exitStatus, 0) << daemon_->Log();
  EXPECT_FALSE(daemon_->Mounted());
  EXPECT_NE(daemon_->Log().find("dozered-simd: stopped; state files closed"), std::string::npos) << daemon_->Log();
  EXPECT_EQ(OpenDescriptorCount(), descriptors);
}

// Transfers of one read command: 1 LBA 0, 2 the saved sector, 3-7 the
// unlock reads, 8 the command block, 9 the data, 10 the check read. Once the
// command block may have reached the drive, the command address cannot be
// read back to learn whether it holds it.
INSTANTIATE_TEST_SUITE_P(StopPoints, SimdStopTest,
                         ::testing::Values(StopPoint{1, kResultSaveReadFailed}, StopPoint{4, kResultUnlockReadAA00Failed},
                                           StopPoint{8, kResultCommandAddressUnknown},
                                           StopPoint{9, kResultCommandAddressUnknown},
                                           StopPoint{10, kResultCommandAddressUnknown},
                                           StopPoint{25, kResultUnlockRead55Failed}),
                         [](const ::testing::TestParamInfo<StopPoint>& info) {
                           return "BeforeTransfer" + std::to_string(info.param.at);
                         });

// A DBS of the first drive with the page's default fields.
BlockScanOutcome Dbs(AppState& state, testing::RecordingFeedback& feedback) {
  state.SelectedDevice = 0;
  DbsDpsFields fields;
  ShowDbsDpsOptionBytes(state, fields);
  return RunDbs(state, feedback, fields);
}

// A DBS whose loop device is detached mid-run: the kernel only marks a disk
// the tool holds open, so the scan runs to its end with the same result as
// on the Virtual platform; the disk goes once the tool lets go, and no
// descriptor is left behind.
TEST_F(SimdLoopTest, DbsWithItsLoopDeviceDetachedMidRunEndsAsOnTheVirtualPlatform) {
  auto virt = VirtualState();
  Scan(*virt);
  testing::RecordingFeedback virtualFeedback;
  const BlockScanOutcome want = Dbs(*virt, virtualFeedback);
  ASSERT_EQ(want.Status, FlashStatus::kDone) << want.Message;
  ASSERT_GT(want.StepCount, 64u);

  const int descriptors = OpenDescriptorCount();
  {
    auto intercepting = std::make_unique<InterceptingPlatform>(std::make_unique<LinuxStoragePlatform>(paths_));
    InterceptingPlatform& platform = *intercepting;
    auto state = LinuxState(std::move(intercepting));
    Scan(*state);
    ASSERT_EQ(state->DeviceCount, kControllerCount);
    bool detached = false;
    // In the middle of the 33rd step: after its command write.
    platform.Before(32 * 10 + 8, [&] { detached = testing::RunCommand("losetup -d " + paths_[0]); });
    testing::RecordingFeedback feedback;
    const BlockScanOutcome got = Dbs(*state, feedback);
    EXPECT_TRUE(detached);
    EXPECT_EQ(got.Status, want.Status) << got.Message;
    EXPECT_EQ(got.Result, want.Result);
    EXPECT_EQ(got.Message, want.Message);
    EXPECT_EQ(got.StepsDone, want.StepsDone);
    EXPECT_EQ(got.Table, want.Table);
    EXPECT_EQ(got.Dump, want.Dump);
    EXPECT_EQ(feedback.boxes, virtualFeedback.boxes);
  }
  for (int i = 0; i < 500 && AttachedTo(paths_[0], daemon_->File(0)); ++i) usleep(10000);
  EXPECT_FALSE(AttachedTo(paths_[0], daemon_->File(0))) << "the disk went once the tool let go";
  loops_[0]->Release();
  EXPECT_EQ(OpenDescriptorCount(), descriptors);
}

// A DBS whose drive goes away mid-run (the server stopped): the step in
// flight fails, the scan ends at once with "DBS fail" and its code in an
// error box, without a result; nothing hangs and no descriptor is left.
TEST_F(SimdLoopTest, DbsWhoseDriveGoesAwayMidRunFailsCleanly) {
  const int descriptors = OpenDescriptorCount();
  int exitStatus = -2;
  {
    auto intercepting = std::make_unique<InterceptingPlatform>(std::make_unique<LinuxStoragePlatform>(paths_));
    InterceptingPlatform& platform = *intercepting;
    auto state = LinuxState(std::move(intercepting));
    Scan(*state);
    ASSERT_EQ(state->DeviceCount, kControllerCount);
    // Before the data of the 33rd step.
    platform.Before(32 * 10 + 9, [&] { exitStatus = daemon_->Stop(); });
    testing::RecordingFeedback feedback;
    const BlockScanOutcome got = Dbs(*state, feedback);
    EXPECT_EQ(got.Status, FlashStatus::kFailed);
    EXPECT_EQ(got.Result, kResultCommandAddressUnknown);
    EXPECT_EQ(got.StepsDone, 32u);
    EXPECT_TRUE(got.Table.empty());
    EXPECT_EQ(got.Message, kDbsFailText);
    ASSERT_EQ(feedback.boxes.size(), 1u);
    EXPECT_EQ(feedback.boxes[0].text.rfind("DBS fail(-14)", 0), 0u) << feedback.boxes[0].text;
  }
  EXPECT_EQ(exitStatus, 0) << daemon_->Log();
  EXPECT_FALSE(daemon_->Mounted());
  EXPECT_EQ(OpenDescriptorCount(), descriptors);
}

// What the host wrote through a loop device is in the drive's state file
// after the server stopped: the same drive on the Virtual platform reads it.
TEST_F(SimdLoopTest, StoppedServerLeavesWhatWasWrittenInTheStateFiles) {
  Bytes written(8 * 512);
  for (size_t i = 0; i < written.size(); ++i) written[i] = static_cast<uint8_t>(i * 5 + 1);
  {
    LinuxStoragePlatform platform(paths_);
    for (int32_t disk : {0, 2}) {
      StorageDevice record(platform);
      ASSERT_TRUE(record.OpenByNumber(disk));
      ASSERT_TRUE(record.WriteSectors(0x20000, 8, written.data())) << disk;
    }
  }
  loops_.clear();
  EXPECT_EQ(daemon_->Stop(), 0) << daemon_->Log();
  auto virt = VirtualState("served");
  for (int32_t disk : {0, 2}) {
    StorageDevice record(*virt->Platform);
    ASSERT_TRUE(record.OpenByNumber(disk));
    Bytes back(written.size());
    ASSERT_TRUE(record.ReadSectors(0x20000, 8, back.data()));
    EXPECT_EQ(back, written) << disk;
  }
}

}  // namespace
}  // namespace dozered

#endif  // __linux__
