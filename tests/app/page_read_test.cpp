#include "app/page_read.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <memory>

#include "app/code_loading.h"
#include "support/recording_feedback.h"
#include "support/temp_dir.h"

namespace dozered {
namespace {

using testing::RecordingFeedback;
using testing::TempDir;

// Device 0 of a fresh state with the given ISP folder, ISP vendor tag and
// firmware revision.
std::unique_ptr<AppState> StateWithDrive(const std::string& exeDir, const char* folder, const char* tail,
                                         const char* firmware) {
  auto state = std::make_unique<AppState>();
  state->ExecutableDir = exeDir;
  std::memcpy(state->IspInfoTable[0].data() + 404, folder, std::min<size_t>(std::strlen(folder), 12));
  std::memcpy(state->IspInfoTable[0].data() + 416, tail, std::min<size_t>(std::strlen(tail), 4));
  for (size_t i = 0; i < std::strlen(firmware) && i < 8; ++i) {
    state->IdentifyTable[0][46 + (i ^ 1)] = static_cast<uint8_t>(firmware[i]);
  }
  return state;
}

TEST(SmartNamesForTest, TheDrivesStringIniSitsInItsIspFolderAndTheSndkSubfolder) {
  struct Case {
    const char* folder;
    const char* tail;
    const char* firmware;
    const char* path;
  } cases[] = {
      {"VE4810VO_ISP", "SNDK", "P01A2B3C", "exe/VE4810VO_ISP/P01/String.ini"},
      {"VE4810VO_ISP", "SNDK", "Q01A2B3C", "exe/VE4810VO_ISP/String.ini"},
      {"VE4810VO_ISP", "SNDJ", "P01A2B3C", "exe/VE4810VO_ISP/String.ini"},
      {"VE48", "SNDK", "X", "exe/VE48/String.ini"},  // NUL at byte 408
      {"/etc", "", "", ""},                           // not a folder beside the executable
  };
  for (const Case& c : cases) {
    const auto state = StateWithDrive("exe", c.folder, c.tail, c.firmware);
    EXPECT_EQ(std::filesystem::path(DiagnosticCodePathFor(*state, 0, "String.ini")).generic_string(), c.path)
        << c.folder << c.firmware;
  }
}

TEST(SmartNamesForTest, TheDrivesOwnFileIsTheOnlySourceWhenPresent) {
  const TempDir dir;
  std::filesystem::create_directories(dir.Dir() / "ISPV1" / "P01");
  dir.Write("ISPV1/String.ini", "[VE4810VO]\r\nID9=Model Hours\r\nIDC2=Model Temp\r\n");
  dir.Write("ISPV1/P01/String.ini", "[VE4810VO]\r\nID9=Sandisk Hours\r\n");
  const auto withStartupNames = [&dir](const char* folder, const char* tail, const char* firmware) {
    auto state = StateWithDrive(dir.Dir().string(), folder, tail, firmware);
    std::strcpy(state->AttributeNames[5].data(), "Reallocated");
    std::strcpy(state->AttributeNames[9].data(), "Startup Hours");
    return state;
  };

  SmartNames names = SmartNamesFor(*withStartupNames("ISPV1", "", "Q1"), 0);
  EXPECT_EQ(names[0x09], "Model Hours");
  EXPECT_EQ(names[0xC2], "Model Temp");
  EXPECT_EQ(names[0x05], "");  // missing key: empty, no fall-back

  EXPECT_EQ(SmartNamesFor(*withStartupNames("ISPV1", "SNDK", "P01X"), 0)[0x09], "Sandisk Hours");

  names = SmartNamesFor(*withStartupNames("ISPV2", "", ""), 0);
  EXPECT_EQ(names[0x09], "Startup Hours");
  EXPECT_EQ(names[0x05], "Reallocated");
}

TEST(ReadPageDataWithoutDriveTest, OnlyTheFlashIdPageSaysNoDevice) {
  auto state = std::make_unique<AppState>();
  for (int page : {0, 1, 2, 3, 4, 5, 10, 13}) {
    RecordingFeedback feedback;
    PageReadOutput out = ReadPageData(*state, feedback, page);
    EXPECT_TRUE(feedback.shown.empty());
    if (page == 0) {
      ASSERT_TRUE(out.Dump.has_value());
      EXPECT_EQ(*out.Dump, "");
      EXPECT_EQ(feedback.reported, std::vector<std::string>{kNoDeviceText});
    } else {
      EXPECT_FALSE(out.Dump.has_value()) << page;
      EXPECT_FALSE(out.List.has_value()) << page;
      EXPECT_TRUE(feedback.reported.empty()) << page;
    }
    EXPECT_EQ(state->CurrentController, nullptr);
  }
}

TEST(ReadPageDataWithoutDriveTest, PagesWithoutARecordAreNotSupported) {
  auto state = std::make_unique<AppState>();
  for (int page : {6, 7, 8, 9, 11, 12}) {
    RecordingFeedback feedback;
    PageReadOutput out = ReadPageData(*state, feedback, page);
    EXPECT_EQ(feedback.reported, std::vector<std::string>{kFunctionNotSupportedText}) << page;
    EXPECT_FALSE(out.Dump.has_value());
  }
}

TEST(RawViewSwitchTest, PagesWithMemoAndList) {
  for (int page = 0; page < kPageCount; ++page) {
    const bool expected = (page >= 1 && page <= 5) || page == 13;
    EXPECT_EQ(PageHasRawViewSwitch(page), expected) << page;
  }
}

TEST(TemperatureLineTest, ReplacesOnlyTheTemperatureLine) {
  std::vector<std::string> lines = {"PHYSICALDRIVE1", "MPISP Code Mode", "Temperature Sensor(D): 38",
                                    "Serial Number: X"};
  std::vector<std::string> out = RefreshTemperatureLines(lines, 7);
  EXPECT_EQ(out, (std::vector<std::string>{"PHYSICALDRIVE1", "MPISP Code Mode", "Temperature Sensor(D): 07",
                                           "Serial Number: X"}));
  std::vector<std::string> without = {"PHYSICALDRIVE1", "Serial Number: X"};
  EXPECT_EQ(RefreshTemperatureLines(without, 200), without);
  EXPECT_EQ(RefreshTemperatureLines({"Temperature Sensor(D): 01"}, 200)[0], "Temperature Sensor(D): 200");
}

TEST(IdentifyRowStatusTextTest, SubItemsEachFollowedByALineBreak) {
  EXPECT_EQ(IdentifyRowStatusText({"Serial Number", "ABC123"}), "ABC123\r\n");
  EXPECT_EQ(IdentifyRowStatusText({"", "48-bit Address feature set supported"}),
            "48-bit Address feature set supported\r\n");
  EXPECT_EQ(IdentifyRowStatusText({"Only item"}), "");
}

}  // namespace
}  // namespace dozered
