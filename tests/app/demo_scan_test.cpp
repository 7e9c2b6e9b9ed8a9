// The demo's drives as start-up sees them, and "MP ISP" with the demo's
// sample MPISP.bin on its ROM-code drive.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "app/code_loading.h"
#include "app/config_file.h"
#include "app/device_scan.h"
#include "app/page_read.h"
#include "app/page_table.h"
#include "app/paths.h"
#include "app/startup/platform_setup.h"
#include "device/virtual_platform.h"
#include "support/recording_feedback.h"
#include "support/temp_dir.h"

namespace dozered {
namespace {

std::string DemoFile(const char* name) { return (std::filesystem::path(DOZERED_DEMO_DIR) / name).string(); }

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
  // The README names the section of each entry.
  EXPECT_EQ(entries_, (std::vector<std::string>{"e: (1, 0)", "f: (4, 0)", "PHYSICALDRIVE1 (2, 0)",
                                                "PHYSICALDRIVE2 (3, 0)", "PHYSICALDRIVE4 (5, 0)",
                                                "PHYSICALDRIVE5 (6, 0)"}))
      << "the plain disk is not listed";
  EXPECT_GE(DeviceInMode(0), 0);
  EXPECT_GE(DeviceInMode(1), 0);
  EXPECT_GE(DeviceInMode(2), 0);
  EXPECT_EQ(state_->SelectedDevice, 0);
}

TEST_F(DemoScanTest, SampleMpispBringsTheRomCodeDriveToMpispMode) {
  const std::filesystem::path mpisp = std::filesystem::path(DOZERED_DEMO_RUN_DIR) / "MPISP.bin";
  ASSERT_TRUE(std::filesystem::exists(mpisp)) << "the build writes the sample files";
  const int rom = DeviceInMode(0);
  ASSERT_GE(rom, 0);
  state_->SelectedDevice = rom;
  testing::RecordingFeedback feedback;
  EXPECT_TRUE(LoadMpisp(*state_, feedback, [&] { return mpisp; }));
  EXPECT_TRUE(feedback.boxes.empty());
  EXPECT_EQ(state_->CardInfoTable[rom][10], 1);
}

// The layout files that come with the tool describe the demo drive's records.
TEST_F(DemoScanTest, ShippedLayoutFilesDescribeTheDemoDrivesRecords) {
  struct Case {
    int page;
    std::filesystem::path layout;  // copied beside the executable
    const char* success;
    Row row;  // one row the page must show
  } cases[] = {
      {kPageCidOption, DemoFile("beside_exe/CIDTable.ini"), kRetrieveCidSuccessText, {"Controller : VE4810VO"}},
      {kPageCidOption, DemoFile("beside_exe/CIDTable.ini"), kRetrieveCidSuccessText, {"Write Cache: On"}},
      {kPageIdentifyTable, DemoFile("examples/ECTable.ini"), kReadConfigurationTableSuccessText,
       {"Model Number", "VE4810VO SSD 128GB" + std::string(22, ' ')}},  // as stored, blank-padded
      {kPageIdentifyTable, DemoFile("examples/ECTable.ini"), kReadConfigurationTableSuccessText,
       {"", "TRIM supported"}},
  };
  for (const Case& c : cases) {
    testing::TempDir exe;
    std::filesystem::copy_file(c.layout, exe.Dir() / c.layout.filename());
    state_->ExecutableDir = exe.Dir();
    testing::RecordingFeedback feedback;
    const PageReadOutput out = ReadPageData(*state_, feedback, c.page);
    EXPECT_EQ(out.Status, PageReadStatus::kRead) << c.layout;
    EXPECT_EQ(out.Message, c.success);
    ASSERT_TRUE(out.List);
    EXPECT_NE(std::find(out.List->begin(), out.List->end(), c.row), out.List->end())
        << c.layout << " lacks " << ::testing::PrintToString(c.row);
  }
}

TEST(PlatformSetupTest, WithoutVirtualDrivesIniTheSystemsDrivesAreUsed) {
  testing::TempDir dir;
  AppState state;
  EXPECT_TRUE(SetUpStoragePlatform(state, dir.Path("VirtualDrives.ini")).empty());
  ASSERT_NE(state.Platform, nullptr);
  ASSERT_NE(state.Enumerator, nullptr);
  EXPECT_EQ(dynamic_cast<VirtualPlatform*>(state.Platform.get()), nullptr);
}

// No more drives are built than the enumerator can hold, and a file that is
// there but cannot be used serves no drive rather than the system's disks.
TEST(PlatformSetupTest, VirtualDrivesIniIsReadWithinBounds) {
  auto sections = [](int count) {
    std::string text = "\xEF\xBB\xBF; drives\r\n";
    for (int i = 0; i < count; ++i) text += "[Disk " + std::to_string(i) + "]\r\nKind=plain\r\nPort=" + std::to_string(i) + "\r\n";
    return text;
  };
  struct Case {
    const char* name;
    std::string content;
    size_t disks;
    const char* note;  // after the file's path
  } cases[] = {
      {"32 drives", sections(32), 32, nullptr},
      {"40 drives", sections(40), 32, " declares 40 drives; only the first 32 are used"},
      {"20,000 drives", sections(20000), 32, " declares 20000 drives; only the first 32 are used"},
      {"utf-16", std::string("\xFF\xFE[\0D\0", 6), 0, " is saved as UTF-16 and was not read; save it as ANSI or UTF-8"},
      {"too large", std::string(kConfigFileMaxBytes + 1, ';'), 0, " is larger than 1024 KB and was not read"},
  };
  for (const Case& c : cases) {
    testing::TempDir dir;
    const std::string path = dir.Write("VirtualDrives.ini", c.content);
    AppState state;
    const std::vector<std::string> notes = SetUpStoragePlatform(state, path);
    auto* platform = dynamic_cast<VirtualPlatform*>(state.Platform.get());
    ASSERT_NE(platform, nullptr) << c.name;
    EXPECT_EQ(static_cast<size_t>(platform->DiskCount()), c.disks) << c.name;
    EXPECT_EQ(notes, c.note ? std::vector<std::string>{path + c.note} : std::vector<std::string>{}) << c.name;
  }
}

}  // namespace
}  // namespace dozered
