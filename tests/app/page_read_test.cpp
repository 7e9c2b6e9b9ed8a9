#include "app/page_read.h"

#include <gtest/gtest.h>

#include "support/recording_feedback.h"

namespace dozered {
namespace {

using testing::RecordingFeedback;

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
