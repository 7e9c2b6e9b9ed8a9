// The "Save Info" log against a simulated drive: folder, files, flags and the
// final report.
#include "reports/save_info.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "app/device_scan.h"
#include "app/page_table.h"
#include "protocol/command_block.h"
#include "sim/code_images.h"
#include "sim/drive_identity.h"
#include "support/command_fault_drive.h"
#include "support/current_dir.h"
#include "support/file_bytes.h"
#include "support/recording_feedback.h"
#include "support/simulated_drives.h"
#include "support/temp_dir.h"

namespace dozered {
namespace {

using testing::RecordedMessageBox;
using testing::RecordingFeedback;
using testing::TempDir;

constexpr LocalDate kDay{3, 14};

std::set<std::string> FilesIn(const std::filesystem::path& folder) {
  std::set<std::string> names;
  if (!std::filesystem::is_directory(folder)) return names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

// Stands in for the Flash Diagnosis page's read: fills the views, and with
// SaveLogMode set writes the original table into the log folder as that read does.
struct FakeBadBlockRead {
  bool fail = false;
  bool withLists = true;
  std::vector<std::pair<bool, bool>> flagsSeen;  // SaveLogMode, EraseCountLogMode
  LogBadBlockRead Hook() {
    return [this](AppState& state, Feedback&, BadBlockLogViews& views) {
      flagsSeen.emplace_back(state.SaveLogMode, state.EraseCountLogMode);
      BadBlockLogRead out;
      out.OriginalTableRead = true;
      if (state.SaveLogMode) {
        std::ofstream(std::filesystem::path(state.LogFolderName) / "BadBlk_Org.bin", std::ios::binary)
            << std::string(12288, '\0');
        out.OriginalFileWritten = true;
      }
      for (auto* grid : {&views.Original, &views.RunTime, &views.Total}) {
        for (size_t r = 1; r < kBadBlockMapSize; ++r) {
          for (size_t c = 1; c < kBadBlockMapSize; ++c) (*grid)[r][c] = "0";
        }
      }
      if (withLists) {
        views.OriginalList = {{"1", "0x0010", "0", "0", "0"}};
        views.TotalList = {{"1", "0x0010", "0", "0", "0"}, {"2", "*0x0020", "1", "0", "N/A"}};
      }
      out.Read = !fail;
      return out;
    };
  }
};

class SaveInfoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    drive_ = std::make_shared<sim::SimulatedDrive>(testing::ControllerDrive(2));
    fault_ = std::make_shared<CommandFaultDrive>(drive_);
    testing::InstallDisks(*state_, {fault_});
    state_->ExecutableDir = dir_.Dir();
    // The diagnostic program the mark-bad read loads on a drive under its firmware.
    const auto isp = sim::MakeIspVersion("V126", "VE01");
    const auto program = sim::BuildDiagnosticFile(sim::DiagnosticKind::kReadBadInfo, isp, false);
    std::filesystem::create_directories(dir_.Dir() / "V126");
    std::ofstream(dir_.Dir() / "V126" / "DgISP_ReadBadInfo.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(program.data()), static_cast<std::streamsize>(program.size()));
    ResetEnumerator(*state_);
    ScanForControllers(*state_);
    FinishScan(*state_);
    ASSERT_EQ(state_->SelectedDevice, 0);
    hooks_ = DefaultSaveInfoHooks();
    hooks_.ReadBadBlocks = badBlocks_.Hook();
  }

  SaveInfoOutcome Run() {
    feedback_ = RecordingFeedback();
    return SaveInfo(*state_, feedback_, kDay, hooks_);
  }

  TempDir dir_;
  testing::CurrentDir cwd_{dir_.Dir()};
  std::unique_ptr<AppState> state_ = std::make_unique<AppState>();
  RecordingFeedback feedback_;
  std::shared_ptr<sim::SimulatedDrive> drive_;
  std::shared_ptr<CommandFaultDrive> fault_;
  FakeBadBlockRead badBlocks_;
  SaveInfoHooks hooks_;
};

const std::set<std::string> kAllLogFiles = {
    "FlashId.bin",     "IdentifyTable.bin", "IdentifyTable.txt", "SmartData.bin",         "SmartData.txt",
    "CardInfo.txt",    "EraseCnt.bin",      "EraseCnt.txt",      "CID.bin",               "CID.txt",
    "MarkBadInfo.bin", "MarkBadInfo.txt",   "BadBlk_Org.bin",    "BadBlk_Orig.txt",       "BadBlk_Runtime.txt",
    "BadBlk_Total.txt", "BadBlk_OrgParsing.txt", "BadBlk_TotalParsing.txt"};

TEST_F(SaveInfoTest, FolderHoldsEveryFileOfTheLog) {
  const SaveInfoOutcome out = Run();
  EXPECT_EQ(out.Status, SaveInfoStatus::kSaved);
  EXPECT_EQ(out.Folder, "LogInfoRB_0314_0000");
  EXPECT_EQ(state_->LogFolderName, "LogInfoRB_0314_0000");
  EXPECT_EQ(FilesIn(out.Folder), kAllLogFiles);
  EXPECT_TRUE(out.Files.NotWritten.empty());
  EXPECT_EQ(std::filesystem::file_size(out.Folder + "/FlashId.bin"), 2048u);
  EXPECT_EQ(std::filesystem::file_size(out.Folder + "/IdentifyTable.bin"), 512u);
  EXPECT_EQ(std::filesystem::file_size(out.Folder + "/SmartData.bin"), 512u);
  EXPECT_EQ(std::filesystem::file_size(out.Folder + "/EraseCnt.bin"), 16896u);
  EXPECT_EQ(std::filesystem::file_size(out.Folder + "/CID.bin"), 128u);
  EXPECT_EQ(std::filesystem::file_size(out.Folder + "/MarkBadInfo.bin"), 8192u);
  std::string flashId;
  ASSERT_TRUE(testing::ReadFileBytes(out.Folder + "/FlashId.bin", flashId));
  EXPECT_EQ(flashId, std::string(state_->CardInfoTable[0].begin(), state_->CardInfoTable[0].end()));
  std::string list;
  ASSERT_TRUE(testing::ReadFileBytes(out.Folder + "/BadBlk_TotalParsing.txt", list));
  EXPECT_EQ(list, "NO      FBlock        CE     CH\r\n"
                  "1       0x0010         0      0      \r\n"
                  "2       *0x0020        1      0      \r\n");

  EXPECT_EQ(feedback_.shown.back(), "Save Log successful");
  EXPECT_EQ(feedback_.boxes.back(), (RecordedMessageBox{"Save Log finish!", "Message", MessageIcon::Information}));
  EXPECT_FALSE(state_->SaveLogMode);
  EXPECT_FALSE(state_->EraseCountLogMode);
  EXPECT_EQ(badBlocks_.flagsSeen, (std::vector<std::pair<bool, bool>>{{true, false}}));
  EXPECT_FALSE(feedback_.RunOpen());
}

TEST_F(SaveInfoTest, EmptyBadBlockListsWriteNoListFiles) {
  badBlocks_.withLists = false;
  const SaveInfoOutcome out = Run();
  EXPECT_EQ(out.Status, SaveInfoStatus::kSaved);
  std::set<std::string> expected = kAllLogFiles;
  expected.erase("BadBlk_OrgParsing.txt");
  expected.erase("BadBlk_TotalParsing.txt");
  EXPECT_EQ(FilesIn(out.Folder), expected);
}

TEST_F(SaveInfoTest, ThreeLogsInADayAreNumbered) {
  std::vector<std::string> folders;
  for (int i = 0; i < 3; ++i) folders.push_back(Run().Folder);
  EXPECT_EQ(folders, (std::vector<std::string>{"LogInfoRB_0314_0000", "LogInfoRB_0314_0001", "LogInfoRB_0314_0002"}));
  for (const std::string& folder : folders) EXPECT_EQ(FilesIn(folder), kAllLogFiles) << folder;
}

TEST_F(SaveInfoTest, FailedPageReadWritesNoFileOfThatPageAndSaysSo) {
  fault_->FailDataPhaseOf(kOpReadSmart);
  const SaveInfoOutcome out = Run();
  EXPECT_EQ(out.Status, SaveInfoStatus::kFailed);
  EXPECT_EQ(out.PagesNotSaved, std::vector<int>{kPageSmartInfo});
  std::set<std::string> expected = kAllLogFiles;
  expected.erase("SmartData.bin");
  expected.erase("SmartData.txt");
  EXPECT_EQ(FilesIn(out.Folder), expected);
  EXPECT_EQ(feedback_.shown.back(), "Save Log fail (LogInfoRB_0314_0000): pages not saved: Smart Info");
  EXPECT_EQ(feedback_.boxes.back(),
            (RecordedMessageBox{"Save Log finish!\nSave Log fail: pages not saved: Smart Info", "Warning",
                                MessageIcon::Warning}));
  EXPECT_FALSE(state_->SaveLogMode);
  EXPECT_FALSE(state_->EraseCountLogMode);
}

TEST_F(SaveInfoTest, FailedBadBlockReadAndMissingReadAreNamed) {
  badBlocks_.fail = true;
  SaveInfoOutcome out = Run();
  EXPECT_EQ(out.PagesNotSaved, std::vector<int>{kPageFlashDiagnosis});
  EXPECT_FALSE(FilesIn(out.Folder).contains("BadBlk_Orig.txt"));
  EXPECT_TRUE(FilesIn(out.Folder).contains("BadBlk_Org.bin"));

  hooks_.ReadBadBlocks = nullptr;
  out = Run();
  EXPECT_EQ(out.PagesNotSaved, std::vector<int>{kPageFlashDiagnosis});
  EXPECT_NE(feedback_.shown.back().find("pages not saved: Flash Diagnosis"), std::string::npos);
}

TEST_F(SaveInfoTest, FailedEraseCountExportIsAFileNotWritten) {
  // The page read of the erase counts succeeds; the export's own read fails.
  int reads = 0;
  hooks_.ReadPage = [&reads, this](AppState& state, Feedback& feedback, int page) {
    PageReadOutput out = ReadPageData(state, feedback, page);
    if (page == kPageEraseCount && reads++ == 0) fault_->FailDataPhaseOf(kOpReadEraseCount);
    return out;
  };
  const SaveInfoOutcome out = Run();
  EXPECT_EQ(out.Files.NotWritten, std::vector<std::string>{"EraseCnt.txt"});
  EXPECT_TRUE(out.PagesNotSaved.empty());
  EXPECT_TRUE(FilesIn(out.Folder).contains("EraseCnt.bin"));
  EXPECT_FALSE(FilesIn(out.Folder).contains("EraseCnt.txt"));
  EXPECT_NE(feedback_.shown.back().find("files not written: EraseCnt.txt"), std::string::npos);
  EXPECT_FALSE(state_->EraseCountLogMode);
}

TEST_F(SaveInfoTest, PlainFileTakesTheNumberOfItsName) {
  // A plain file takes the name of the day's first folder; the log goes to the next one.
  std::ofstream("LogInfoRB_0314_0000") << "x";
  SaveInfoOutcome out = Run();
  EXPECT_EQ(out.Folder, "LogInfoRB_0314_0001");
  EXPECT_EQ(out.Status, SaveInfoStatus::kSaved);
}

TEST_F(SaveInfoTest, NoDriveWritesNoFolder) {
  state_->SelectedDevice = -1;
  const SaveInfoOutcome out = Run();
  EXPECT_EQ(out.Status, SaveInfoStatus::kNothing);
  EXPECT_EQ(feedback_.reported, std::vector<std::string>{"No device!"});
  EXPECT_TRUE(feedback_.boxes.empty());
  for (const std::string& name : FilesIn(dir_.Dir())) EXPECT_NE(name.rfind("LogInfoRB_", 0), 0u) << name;
  EXPECT_FALSE(state_->SaveLogMode);
}

// A read of the diagnosis page's shape, as BadBlockReadForLog binds it.
struct FakeGrid {
  BadBlockMapCells Cells;
};
struct FakeViews {
  FakeGrid Original, RunTime, Total;
  Rows OriginalList, TotalList;
};
struct FakeOutcome {
  FlashStatus Status = FlashStatus::kNothing;
  int32_t BadBlockInfoResult = 0;
  bool OriginalFileWritten = false;
};
void FakePrepare(FakeViews& views) { views.Original.Cells[0][1] = "CH0"; }
FakeOutcome FakeRead(AppState&, Feedback&, FakeViews& views) {
  views.Total.Cells[1][1] = views.Original.Cells[0][1] + "!";
  views.TotalList = {{"1"}};
  return FakeOutcome{FlashStatus::kFailed, 0, true};
}

TEST(BadBlockReadForLogTest, CarriesViewsAndOutcome) {
  const LogBadBlockRead hook = BadBlockReadForLog(&FakeRead, &FakePrepare);
  auto state = std::make_unique<AppState>();
  RecordingFeedback feedback;
  BadBlockLogViews views;
  const BadBlockLogRead read = hook(*state, feedback, views);
  EXPECT_FALSE(read.Read);
  EXPECT_TRUE(read.OriginalTableRead);
  EXPECT_TRUE(read.OriginalFileWritten);
  EXPECT_EQ(views.Total[1][1], "CH0!");
  EXPECT_EQ(views.TotalList, (Rows{{"1"}}));
}

}  // namespace
}  // namespace dozered
