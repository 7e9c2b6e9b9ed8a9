// "Save To BIN File", "&Save To TXT File", the erase-count export and the
// analysis read, against a simulated drive.
#include "reports/save_operations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <fstream>

#include "app/device_scan.h"
#include "app/page_table.h"
#include "protocol/command_block.h"
#include "reports/report_layouts.h"
#include "support/command_fault_drive.h"
#include "support/current_dir.h"
#include "support/file_bytes.h"
#include "support/recording_feedback.h"
#include "support/simulated_drives.h"
#include "support/temp_dir.h"

namespace dozered {
namespace {

using testing::RecordingFeedback;
using testing::TempDir;

std::string Read(const std::filesystem::path& path) {
  std::string bytes;
  testing::ReadFileBytes(path.string(), bytes);
  return bytes;
}

// A save dialog that answers from a list and records the default names it was opened with.
struct DialogScript {
  DialogScript() = default;
  explicit DialogScript(std::vector<std::filesystem::path> a) : answers(std::move(a)) {}
  std::vector<std::filesystem::path> answers;
  std::vector<std::string> opened;
  ChooseSaveFile Chooser() {
    return [this](const std::string& name) {
      opened.push_back(name);
      if (opened.size() > answers.size()) return std::filesystem::path();
      return answers[opened.size() - 1];
    };
  }
};

TEST(BinFilesForPageTest, NamesAndSizesByPage) {
  auto state = std::make_unique<AppState>();
  state->SelectedDevice = 1;
  for (size_t i = 0; i < state->FlashPageBuffer.size(); ++i) state->FlashPageBuffer[i] = static_cast<uint8_t>(i / 512);
  struct Case {
    int page;
    std::vector<std::pair<std::string, size_t>> files;
  };
  const std::vector<Case> cases = {
      {kPageReadFlashId, {{"FlashId", 1616}}},  {kPageIdentifyTable, {{"IdTable", 512}}},
      {kPageSmartInfo, {{"SmartData", 512}}},   {kPageCardInfo, {{"CardInfo", 1616}}},
      {kPageEraseCount, {{"EraseCnt", 16896}}}, {kPageCidOption, {{"CID", 128}}},
      {kPageChunkEcc, {}},                      {kPageFlashDiagnosis, {}},
      {kPageMarkBadInfo, {}},                   {kPageErrorLog, {}},
      {kPageL2P, {}},
  };
  for (const Case& c : cases) {
    std::vector<std::pair<std::string, size_t>> got;
    for (const BinFile& f : BinFilesForPage(*state, c.page, 0)) got.emplace_back(f.DefaultName, f.Bytes.size());
    EXPECT_EQ(got, c.files) << "page " << c.page;
  }
  // Flash RW, "4 K": 8 data sectors, then the spare sector behind them.
  const std::vector<BinFile> flash = BinFilesForPage(*state, kPageFlashRw, 2);
  ASSERT_EQ(flash.size(), 2u);
  EXPECT_EQ(flash[0].DefaultName, "FlashData");
  EXPECT_EQ(flash[0].Bytes.size(), 8u * 512);
  EXPECT_EQ(flash[1].DefaultName, "FlashDataSpare");
  EXPECT_EQ(flash[1].Bytes, std::vector<uint8_t>(512, 8));

  state->SelectedDevice = -1;
  for (int page : {kPageReadFlashId, kPageIdentifyTable, kPageCardInfo}) {
    EXPECT_TRUE(BinFilesForPage(*state, page, 0).empty()) << page;
  }
}

TEST(SaveToBinFileTest, FlashRwOffersTheSpareSectorAfterACancelledFirstDialog) {
  TempDir dir;
  auto state = std::make_unique<AppState>();
  state->FlashPageBuffer.fill(0x11);
  std::fill_n(state->FlashPageBuffer.begin() + 4 * 512, 512, 0x5A);
  RecordingFeedback feedback;
  DialogScript dialog({std::filesystem::path(), dir.Dir() / "spare.bin"});
  const SaveOutcome out = SaveToBinFile(*state, feedback, kPageFlashRw, 1, dialog.Chooser());
  EXPECT_EQ(dialog.opened, (std::vector<std::string>{"FlashData", "FlashDataSpare"}));
  EXPECT_EQ(out.Status, SaveStatus::kSaved);
  EXPECT_EQ(Read(dir.Dir() / "spare.bin"), std::string(512, '\x5A'));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Dir()), {}), 1);
}

TEST(SaveToBinFileTest, CancelledDialogWritesNothingAndOtherPagesOpenNone) {
  TempDir dir;
  auto state = std::make_unique<AppState>();
  state->SelectedDevice = 0;
  RecordingFeedback feedback;
  DialogScript cancelled;
  EXPECT_EQ(SaveToBinFile(*state, feedback, kPageSmartInfo, 0, cancelled.Chooser()).Status, SaveStatus::kNothing);
  EXPECT_EQ(cancelled.opened, std::vector<std::string>{"SmartData"});
  DialogScript none;
  EXPECT_EQ(SaveToBinFile(*state, feedback, kPageErrorLog, 0, none.Chooser()).Status, SaveStatus::kNothing);
  EXPECT_TRUE(none.opened.empty());
  EXPECT_TRUE(std::filesystem::is_empty(dir.Dir()));
}

TEST(SaveToBinFileTest, WriteFailureIsReportedNotDone) {
  TempDir dir;
  auto state = std::make_unique<AppState>();
  RecordingFeedback feedback;
  DialogScript dialog({dir.Dir() / "no-such-folder" / "CID.bin"});
  const SaveOutcome out = SaveToBinFile(*state, feedback, kPageCidOption, 0, dialog.Chooser());
  EXPECT_EQ(out.Status, SaveStatus::kFailed);
  ASSERT_EQ(feedback.reported.size(), 1u);
  EXPECT_EQ(feedback.reported[0].rfind("Save file fail: ", 0), 0u);
  EXPECT_TRUE(out.Files.empty());
}

TEST(SaveToTxtFileTest, DefaultNamesAndContentByPage) {
  TempDir dir;
  RecordingFeedback feedback;
  const PageViewText view{{{"Card Mode: 2"}, {"Blocks: 4"}}, "line 1\nline 2"};
  struct Case {
    int page;
    const char* defaultName;  // nullptr: no dialog
    std::string content;
  };
  const std::vector<Case> cases = {
      {kPageCardInfo, "CardInfo", "Card Mode: 2\r\nBlocks: 4\r\n"},
      {kPageCidOption, "CID", "Card Mode: 2\r\nBlocks: 4\r\n"},
      {kPageChunkEcc, "ChunkEcc", "line 1\r\nline 2\r\n"},
      {kPageDbsDps, "", "line 1\r\nline 2\r\n"},
      {kPageErrorLog, nullptr, ""},
      {kPageReadFlashId, nullptr, ""},
  };
  for (const Case& c : cases) {
    DialogScript dialog({dir.Dir() / "out.txt"});
    std::filesystem::remove(dir.Dir() / "out.txt");
    const SaveOutcome out = SaveToTxtFile(feedback, c.page, view, dialog.Chooser());
    if (c.defaultName == nullptr) {
      EXPECT_TRUE(dialog.opened.empty()) << c.page;
      EXPECT_FALSE(std::filesystem::exists(dir.Dir() / "out.txt")) << c.page;
      continue;
    }
    EXPECT_EQ(dialog.opened, std::vector<std::string>{c.defaultName}) << c.page;
    EXPECT_EQ(out.Status, SaveStatus::kSaved) << c.page;
    EXPECT_EQ(Read(dir.Dir() / "out.txt"), c.content) << c.page;
  }
}

TEST(SaveToTxtFileTest, EmptyResultMemoDoesNothingAtAll) {
  RecordingFeedback feedback;
  for (int page : {kPageChunkEcc, kPageDbsDps}) {
    DialogScript dialog({"never.txt"});
    EXPECT_EQ(SaveToTxtFile(feedback, page, PageViewText{}, dialog.Chooser()).Status, SaveStatus::kNothing);
    EXPECT_TRUE(dialog.opened.empty());
  }
  EXPECT_TRUE(feedback.reported.empty());
}

// One simulated drive (normal firmware) behind a fault wrapper, scanned and selected.
class EraseCountDriveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    drive_ = std::make_shared<sim::SimulatedDrive>(testing::ControllerDrive(2));
    fault_ = std::make_shared<CommandFaultDrive>(drive_);
    testing::InstallDisks(*state_, {fault_});
    ResetEnumerator(*state_);
    ScanForControllers(*state_);
    FinishScan(*state_);
    ASSERT_EQ(state_->SelectedDevice, 0);
  }

  TempDir dir_;
  std::unique_ptr<AppState> state_ = std::make_unique<AppState>();
  RecordingFeedback feedback_;
  std::shared_ptr<sim::SimulatedDrive> drive_;
  std::shared_ptr<CommandFaultDrive> fault_;
};

TEST_F(EraseCountDriveTest, ExportThroughTheDialog) {
  DialogScript dialog({dir_.Dir() / "EraseCnt.txt"});
  const SaveOutcome out = SaveEraseCount(*state_, feedback_, dialog.Chooser());
  EXPECT_EQ(dialog.opened, std::vector<std::string>{"EraseCnt"});
  ASSERT_EQ(out.Status, SaveStatus::kSaved);
  const std::string text = Read(dir_.Dir() / "EraseCnt.txt");
  EXPECT_EQ(text.rfind("Host Write Sector Count(Since Power On) \r\nFBlock= ", 0), 0u);
  const size_t separator = text.find("\r\n-----------------------------------------------------\r\nTotal Erase Count= 0x");
  ASSERT_NE(separator, std::string::npos);
  EXPECT_NE(text.find("\r\nBad Block Count= 0x", separator), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  EXPECT_FALSE(state_->EraseCountLogMode);
}

TEST_F(EraseCountDriveTest, CancelledDialogWritesNothing) {
  testing::CurrentDir cwd(dir_.Dir());
  DialogScript cancelled;
  EXPECT_EQ(SaveEraseCount(*state_, feedback_, cancelled.Chooser()).Status, SaveStatus::kNothing);
  EXPECT_EQ(cancelled.opened.size(), 1u);
  EXPECT_TRUE(std::filesystem::is_empty(dir_.Dir()));
}

TEST_F(EraseCountDriveTest, LogModeWritesIntoTheLogFolderWithoutDialog) {
  testing::CurrentDir cwd(dir_.Dir());
  std::filesystem::create_directory("LogInfoRB_0101_0000");
  state_->LogFolderName = "LogInfoRB_0101_0000";
  state_->EraseCountLogMode = true;
  DialogScript dialog;
  const SaveOutcome out = SaveEraseCount(*state_, feedback_, dialog.Chooser());
  EXPECT_TRUE(dialog.opened.empty());
  EXPECT_EQ(out.Status, SaveStatus::kSaved);
  EXPECT_TRUE(std::filesystem::is_regular_file("LogInfoRB_0101_0000/EraseCnt.txt"));

  // A folder name that is not one plain name is never joined.
  state_->LogFolderName = "../elsewhere";
  EXPECT_EQ(SaveEraseCount(*state_, feedback_, dialog.Chooser()).Status, SaveStatus::kFailed);
  EXPECT_FALSE(std::filesystem::exists(dir_.Dir().parent_path() / "elsewhere"));
}

TEST_F(EraseCountDriveTest, FailedReadWritesNothing) {
  fault_->FailDataPhaseOf(kOpReadEraseCount);
  DialogScript dialog({dir_.Dir() / "EraseCnt.txt"});
  const SaveOutcome out = SaveEraseCount(*state_, feedback_, dialog.Chooser());
  EXPECT_EQ(out.Status, SaveStatus::kFailed);
  EXPECT_NE(out.Result, 0);
  EXPECT_TRUE(dialog.opened.empty());
  EXPECT_TRUE(std::filesystem::is_empty(dir_.Dir()));
  ASSERT_FALSE(feedback_.reported.empty());
  EXPECT_EQ(feedback_.reported.back().rfind("Read erase count fail(", 0), 0u);
}

TEST_F(EraseCountDriveTest, NoDriveDoesNothing) {
  state_->SelectedDevice = -1;
  DialogScript dialog({dir_.Dir() / "EraseCnt.txt"});
  EXPECT_EQ(SaveEraseCount(*state_, feedback_, dialog.Chooser()).Status, SaveStatus::kNothing);
  EXPECT_FALSE(ReadEraseCountAnalysis(*state_, feedback_).Read);
  EXPECT_TRUE(dialog.opened.empty());
}

TEST_F(EraseCountDriveTest, AnalysisListsAndPlotsEveryBlockOfTheRange) {
  const EraseCountAnalysis a = ReadEraseCountAnalysis(*state_, feedback_);
  ASSERT_TRUE(a.Read);
  ASSERT_EQ(a.List.size(), a.Points.size());
  ASSERT_FALSE(a.Points.empty());
  for (size_t i = 0; i < a.Points.size(); ++i) {
    char block[16];
    std::snprintf(block, sizeof block, "0x%04X", static_cast<unsigned>(a.Points[i].first));
    EXPECT_EQ(a.List[i][0], block);
    if (a.List[i][1] == "Bad Block") {
      EXPECT_EQ(a.Points[i].second, 0);
    } else {
      EXPECT_EQ(std::stoi(a.List[i][1], nullptr, 16), a.Points[i].second);
    }
  }
  EXPECT_EQ(a.AxisMaximum, a.Points.back().first + 1);

  fault_->FailDataPhaseOf(kOpReadEraseCount);
  EXPECT_FALSE(ReadEraseCountAnalysis(*state_, feedback_).Read);
}

}  // namespace
}  // namespace dozered
