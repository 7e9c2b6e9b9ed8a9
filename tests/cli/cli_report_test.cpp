// save-info, erase-count export and badblocks run as a program: the same
// folders, files, grids and lists as the operations the pages call, on a
// fresh copy of the same drives.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/startup_files.h"
#include "cli/page_side.h"
#include "cli/work_folder.h"
#include "flash/bad_block.h"
#include "reports/report_layouts.h"
#include "reports/save_info.h"
#include "reports/save_operations.h"
#include "support/current_dir.h"

namespace dozered {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using testing::CliRun;
using testing::Lines;
using testing::PageSide;
using testing::ReadWholeFile;
using testing::WorkFolder;

// Every file under `folder`, by its path inside it, with its bytes.
std::map<std::string, std::string> FilesUnder(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) files[fs::relative(entry.path(), folder).generic_string()] = ReadWholeFile(entry.path());
  }
  return files;
}

TEST(CliReportTest, SaveInfoMakesTheSameLogFolderAsTheMenu) {
  for (const int drive : {0, 1}) {
    SCOPED_TRACE(drive);
    PageSide page(drive);
    // The attribute names of String.ini go into the SMART text, as the
    // window and dozered-cli read them at start-up.
    StartupFiles files;
    files.StringIni = page.Dir() / "String.ini";
    files.TabSheetIni = page.Dir() / "TabSheet.ini";
    LoadStartupConfiguration(page.State(), files, nullptr);
    SaveInfoOutcome expected;
    {
      const testing::CurrentDir inPageFolder(page.Dir());
      expected = SaveInfo(page.State(), page.Feedback(), TodayLocalDate(), DefaultSaveInfoHooks());
    }
    ASSERT_EQ(expected.Status, SaveInfoStatus::kSaved) << expected.Message;
    ASSERT_FALSE(expected.Files.Written.empty());

    const WorkFolder text;
    const CliRun run = text.Cli({"--drive", std::to_string(drive), "save-info"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), expected.Files.Written.size() + 1);
    EXPECT_EQ(lines[0], expected.Folder);
    EXPECT_EQ(FilesUnder(text.Dir() / expected.Folder), FilesUnder(page.Dir() / expected.Folder));

    const WorkFolder json;
    const CliRun jsonRun = json.Cli({"--drive", std::to_string(drive), "--json", "save-info"});
    ASSERT_EQ(jsonRun.exitCode, 0) << jsonRun.err;
    const Json doc = Json::parse(jsonRun.out);
    EXPECT_EQ(doc["status"], "saved");
    EXPECT_EQ(doc["message"], expected.Message);
    EXPECT_EQ(doc["folder"], expected.Folder);
    EXPECT_EQ(doc["files_written"], expected.Files.Written);
    EXPECT_TRUE(doc["files_not_written"].empty());
  }
}

TEST(CliReportTest, EraseCountExportWritesTheFileOfSaveEraseCount) {
  for (const int drive : {0, 1}) {
    SCOPED_TRACE(drive);
    PageSide page(drive);
    const fs::path pageFile = page.Dir() / "counts.txt";
    const SaveOutcome expected =
        SaveEraseCount(page.State(), page.Feedback(), [&](const std::string&) { return pageFile; });
    ASSERT_EQ(expected.Status, SaveStatus::kSaved) << expected.Message;

    const WorkFolder folder;
    const CliRun run =
        folder.Cli({"--drive", std::to_string(drive), "--json", "erase-count", "export", "--output", "counts.txt"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadWholeFile(folder.Dir() / "counts.txt"), ReadWholeFile(pageFile));
    const Json doc = Json::parse(run.out);
    EXPECT_EQ(doc["status"], "saved");
    EXPECT_EQ(doc["file"], "counts.txt");
  }
}

TEST(CliReportTest, EraseCountExportRefusesAMissingOrUnwritableOutput) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
  } cases[] = {
      {"no --output", {"erase-count", "export"}},
      {"a folder that is not there", {"erase-count", "export", "--output", "missing/counts.txt"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const WorkFolder folder;
    const CliRun run = folder.Cli(c.args);
    EXPECT_EQ(run.exitCode, 2) << run.err;
    EXPECT_FALSE(run.err.empty());
    EXPECT_FALSE(fs::exists(folder.Dir() / "missing"));
  }
}

TEST(CliReportTest, BadBlocksPrintsTheGridsAndListsOfTheDiagnosisPage) {
  for (const int drive : {0, 1}) {
    SCOPED_TRACE(drive);
    PageSide page(drive);
    BadBlockViews expected;
    WriteBadBlockGridHeaders(expected);
    const BadBlockReadOutcome read = ReadBadBlocks(page.State(), page.Feedback(), expected);
    ASSERT_EQ(read.Status, FlashStatus::kDone) << read.Message;

    const WorkFolder text;
    const CliRun run = text.Cli({"--drive", std::to_string(drive), "badblocks"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    for (const std::string& line : Lines(BadBlockMapLayout(expected.Total.Cells))) {
      EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line;
    }
    for (const std::string& line : Lines(BadBlockListLayout(expected.TotalList))) {
      EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line;
    }

    const WorkFolder json;
    const CliRun jsonRun = json.Cli({"--drive", std::to_string(drive), "--json", "badblocks"});
    ASSERT_EQ(jsonRun.exitCode, 0) << jsonRun.err;
    const Json doc = Json::parse(jsonRun.out);
    EXPECT_EQ(doc["status"], "done");
    const std::pair<const char*, const BadBlockGrid*> grids[] = {
        {"original", &expected.Original}, {"run_time", &expected.RunTime}, {"total", &expected.Total}};
    for (const auto& [key, grid] : grids) {
      SCOPED_TRACE(key);
      ASSERT_EQ(doc["grids"][key].size(), static_cast<size_t>(kBadBlockGridSize));
      for (int row = 0; row < kBadBlockGridSize; ++row) {
        for (int column = 0; column < kBadBlockGridSize; ++column) {
          EXPECT_EQ(doc["grids"][key][row][column], grid->Cell(column, row));
        }
      }
    }
    const std::pair<const char*, const Rows*> lists[] = {{"original_list", &expected.OriginalList},
                                                        {"total_list", &expected.TotalList}};
    for (const auto& [key, rows] : lists) {
      SCOPED_TRACE(key);
      ASSERT_EQ(doc[key].size(), rows->size());
      for (size_t i = 0; i < rows->size(); ++i) {
        EXPECT_EQ(doc[key][i]["no"], (*rows)[i][0]);
        EXPECT_EQ(doc[key][i]["fblock"], (*rows)[i][1]);
      }
    }
  }
}

}  // namespace
}  // namespace dozered
