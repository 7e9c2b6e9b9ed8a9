#include "app/device_scan.h"

#include <gtest/gtest.h>

#include "support/simulated_drives.h"

namespace dozered {
namespace {

using testing::ControllerDrive;
using testing::InstallDrives;
using testing::PlainDisk;

class DeviceScanTest : public ::testing::Test {
 protected:
  std::vector<std::string> Scan(const std::vector<sim::DriveConfig>& drives) {
    recorders_ = InstallDrives(*state_, drives);
    ResetEnumerator(*state_);
    ScanForControllers(*state_);
    return FinishScan(*state_);
  }

  std::unique_ptr<AppState> state_ = std::make_unique<AppState>();
  std::vector<std::shared_ptr<testing::WireRecorder>> recorders_;
};

TEST_F(DeviceScanTest, KeepsAtMostEightDrivesAndStopsProbing) {
  std::vector<sim::DriveConfig> drives;
  for (int i = 0; i < 9; ++i) drives.push_back(ControllerDrive(2, 100 + i));
  const auto entries = Scan(drives);
  EXPECT_EQ(state_->DeviceCount, 8);
  ASSERT_EQ(entries.size(), 8u);
  EXPECT_EQ(entries[0], "PHYSICALDRIVE0 (2, 0)");
  EXPECT_EQ(entries[7], "PHYSICALDRIVE7 (2, 7)");
  EXPECT_EQ(state_->SelectedDevice, 0);
  EXPECT_GT(recorders_[7]->UnlockCount(), 0);
  EXPECT_EQ(recorders_[8]->UnlockCount(), 0) << "the ninth drive must not be probed";
}

TEST_F(DeviceScanTest, VariantSignatureIsListedOnlyInRomOrMpispMode) {
  for (int mode : {0, 1, 2}) {
    sim::DriveConfig variant = ControllerDrive(mode, 7);
    variant.signature = "VE4810VI";
    variant.serial = "VARIANT";
    const auto entries = Scan({ControllerDrive(2, 1), variant, ControllerDrive(2, 3)});
    if (mode == 2) {
      EXPECT_EQ(entries, (std::vector<std::string>{"PHYSICALDRIVE0 (2, 0)", "PHYSICALDRIVE2 (2, 2)"}));
      // Read but not kept: its flash ID, IDENTIFY and ISP information were asked for.
      std::vector<uint8_t> opcodes;
      for (const auto& c : recorders_[1]->Commands()) opcodes.push_back(c.opcode());
      EXPECT_EQ(opcodes, (std::vector<uint8_t>{0x20, 0x20, 0x20, 0x3F, 0x04}));
      // The next drive took its slot in every table.
      EXPECT_NE(AtaText(state_->IdentifyTable[1], 20, 7), "VARIANT");
    } else {
      EXPECT_EQ(entries.size(), 3u) << mode;
      EXPECT_EQ(state_->CardInfoTable[1][10], mode);
    }
  }
}

TEST_F(DeviceScanTest, PlainDisksAreNotListedAndNoDriveSelectsNone) {
  auto entries = Scan({PlainDisk(), ControllerDrive(1, 5), PlainDisk()});
  EXPECT_EQ(entries, std::vector<std::string>{"PHYSICALDRIVE1 (2, 1)"});

  state_->RawViewFlags[3] = 1;
  entries = Scan({PlainDisk()});
  EXPECT_TRUE(entries.empty());
  EXPECT_EQ(state_->DeviceCount, 0);
  EXPECT_EQ(state_->SelectedDevice, -1);
  EXPECT_EQ(state_->RawViewFlags[3], 0);
  EXPECT_TRUE(SelectedDeviceInfo(*state_).lines.empty());

  entries = Scan({});
  EXPECT_TRUE(entries.empty());
}

TEST_F(DeviceScanTest, DeviceInformationOfTheScannedDrive) {
  sim::DriveConfig drive = ControllerDrive(1, 9);
  drive.flashMaker = 0x01;
  drive.temperature = 41;
  drive.serial = "SN-DOZERED-0001";
  Scan({drive});
  const DeviceInfo info = SelectedDeviceInfo(*state_);
  ASSERT_GE(info.lines.size(), 4u);
  EXPECT_EQ(info.lines[0], "PHYSICALDRIVE0");
  EXPECT_EQ(info.lines[2], "MPISP Code Mode");
  EXPECT_EQ(info.lines[3], "Temperature Sensor(D): 41");
  EXPECT_EQ(info.lines[4].rfind("Serial Number: SN-DOZERED-0001", 0), 0u);
  EXPECT_EQ(info.lines.back(), "Flash Vendor: Unknown");
  EXPECT_FALSE(info.romCodeMode);
}

TEST_F(DeviceScanTest, PageRuleFollowsTheDriveAndKeepsTheListWithoutOne) {
  Scan({ControllerDrive(0), ControllerDrive(1)});
  state_->PageEnabled = {1, 0, 1, 0, 0, 0, 0, 1};
  EXPECT_EQ(PageRuleFor(*state_, 0).visible[2], false);
  EXPECT_EQ(PageRuleFor(*state_, 1).visible[7], true);
  EXPECT_EQ(PageRuleFor(*state_, 1).chunkEcc, ChunkEccButton::Hidden);
  const PageRule none = PageRuleFor(*state_, -1);
  EXPECT_TRUE(none.visible[0] && none.visible[2] && none.visible[7]);
  EXPECT_EQ(none.chunkEcc, ChunkEccButton::Unchanged);
}

}  // namespace
}  // namespace dozered
