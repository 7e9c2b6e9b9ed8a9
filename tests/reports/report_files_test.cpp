// Report files are written whole or not at all; log folders are numbered per day.
#include "reports/report_files.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/temp_dir.h"

namespace dozered {
namespace {

using testing::TempDir;

std::string Read(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

TEST(WriteReportFileTest, WritesExactlyAndReplaces) {
  TempDir dir;
  const auto path = dir.Dir() / "a.txt";
  ASSERT_TRUE(WriteReportFile(path, std::string_view("one\r\ntwo\r\n")));
  EXPECT_EQ(Read(path), "one\r\ntwo\r\n");
  ASSERT_TRUE(WriteReportFile(path, std::string_view("x")));
  EXPECT_EQ(Read(path), "x");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Dir()), {}), 1) << "no scratch file is left";
}

TEST(WriteReportFileTest, FailureLeavesNothingBehind) {
  TempDir dir;
  EXPECT_FALSE(WriteReportFile(dir.Dir() / "missing" / "a.txt", std::string_view("x")));
  // A folder in the way of the name: the write fails and the folder stays a folder.
  std::filesystem::create_directory(dir.Dir() / "taken");
  EXPECT_FALSE(WriteReportFile(dir.Dir() / "taken", std::string_view("x")));
  EXPECT_TRUE(std::filesystem::is_directory(dir.Dir() / "taken"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Dir()), {}), 1);
}

TEST(LogFolderNameTest, MonthDayAndNumber) {
  EXPECT_EQ(LogFolderNameFor({3, 7}, 0), "LogInfoRB_0307_0000");
  EXPECT_EQ(LogFolderNameFor({12, 31}, 999), "LogInfoRB_1231_0999");
}

TEST(LogFolderNameTest, NextFreeNumberOfTheDay) {
  TempDir dir;
  const LocalDate day{4, 9};
  std::vector<std::string> names;
  for (int i = 0; i < 3; ++i) {
    names.push_back(NextLogFolderName(dir.Dir(), day));
    std::filesystem::create_directory(dir.Dir() / names.back());
  }
  EXPECT_EQ(names, (std::vector<std::string>{"LogInfoRB_0409_0000", "LogInfoRB_0409_0001", "LogInfoRB_0409_0002"}));
  // A file of the next name takes its number too; another day starts at 0.
  std::ofstream(dir.Dir() / "LogInfoRB_0409_0003") << "x";
  EXPECT_EQ(NextLogFolderName(dir.Dir(), day), "LogInfoRB_0409_0004");
  EXPECT_EQ(NextLogFolderName(dir.Dir(), {4, 10}), "LogInfoRB_0410_0000");
}

TEST(LogFolderNameTest, AllNumbersTakenStaysAt999) {
  TempDir dir;
  for (int n = 0; n <= 999; ++n) std::filesystem::create_directory(dir.Dir() / LogFolderNameFor({1, 2}, n));
  EXPECT_EQ(NextLogFolderName(dir.Dir(), {1, 2}), "LogInfoRB_0102_0999");
}

TEST(LogFilePathTest, OnlyPlainNamesAreJoined) {
  EXPECT_EQ(LogFilePath("w", "LogInfoRB_0102_0000", "CID.bin"),
            std::filesystem::path("w") / "LogInfoRB_0102_0000" / "CID.bin");
  for (const char* folder : {"", "..", "a/b", "a\\b", "C:", "/abs"}) {
    EXPECT_FALSE(LogFilePath("w", folder, "CID.bin")) << folder;
  }
  EXPECT_FALSE(LogFilePath("w", "LogInfoRB_0102_0000", "../x"));
}

}  // namespace
}  // namespace dozered
