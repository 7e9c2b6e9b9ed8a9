// The demo's drives as start-up sees them, and "MP ISP" with the demo's
// sample MPISP.bin on its ROM-code drive.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/code_loading.h"
#include "app/device_scan.h"
#include "app/paths.h"
#include "app/startup/platform_setup.h"
#include "device/virtual_platform.h"
#include "support/recording_feedback.h"
#include "support/temp_dir.h"

namespace dozered {
namespace {

std::string DemoFile(const char* name) { return JoinPath(DOZERED_DEMO_DIR, name); }

class DemoScanTest : public ::testing::Test {
 protected:
  // The demo's VirtualDrives.ini, copied so that the drives keep their state
  // files in a folder of the test's own.
  void SetUp() override {
    std::filesystem::copy_file(DemoFile("VirtualDrives.ini"), dir_.Path("VirtualDrives.ini"));
    SetUpStoragePlatform(*state_, dir_.Path("VirtualDrives.ini"));
    ScanForControllers(*state_);
    entries_ = FinishScan(*state_);
  }

  int DeviceInMode(uint8_t mode) const {
    for (int i = 0; i < state_->DeviceCount; ++i) {
      if (state_->CardInfoTable[i][10] == mode) return i;
    }
    return -1;
  }

  testing::TempDir dir_;
  std::unique_ptr<AppState> state_ = std::make_unique<AppState>();
  std::vector<std::string> entries_;
};

TEST_F(DemoScanTest, ListsEveryControllerDriveInEachCodeMode) {
  EXPECT_NE(dynamic_cast<VirtualPlatform*>(state_->Platform.get()), nullptr);
  EXPECT_EQ(entries_.size(), 6u) << "the plain disk is not listed";
  EXPECT_GE(DeviceInMode(0), 0);
  EXPECT_GE(DeviceInMode(1), 0);
  EXPECT_GE(DeviceInMode(2), 0);
  EXPECT_EQ(state_->SelectedDevice, 0);
}

TEST_F(DemoScanTest, SampleMpispBringsTheRomCodeDriveToMpispMode) {
  const std::string mpisp = DemoFile("MPISP.bin");
  if (!std::filesystem::exists(mpisp)) GTEST_SKIP() << "the build writes the sample files";
  const int rom = DeviceInMode(0);
  ASSERT_GE(rom, 0);
  state_->SelectedDevice = rom;
  testing::RecordingFeedback feedback;
  EXPECT_TRUE(LoadMpisp(*state_, feedback, [&] { return mpisp; }));
  EXPECT_TRUE(feedback.boxes.empty());
  EXPECT_EQ(state_->CardInfoTable[rom][10], 1);
}

TEST(PlatformSetupTest, WithoutVirtualDrivesIniTheSystemsDrivesAreUsed) {
  testing::TempDir dir;
  AppState state;
  SetUpStoragePlatform(state, dir.Path("VirtualDrives.ini"));
  ASSERT_NE(state.Platform, nullptr);
  ASSERT_NE(state.Enumerator, nullptr);
  EXPECT_EQ(dynamic_cast<VirtualPlatform*>(state.Platform.get()), nullptr);
}

}  // namespace
}  // namespace dozered
