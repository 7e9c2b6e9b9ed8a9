// The saving commands of the main window against a simulated drive: context
// menus, save dialogs, "Save Info", "Save Erase Count" and "Show Analyze".
#include "reports/gui/save_commands.h"

#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScatterSeries>
#include <QTabWidget>
#include <QTreeView>
#include <QValueAxis>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "app/gui/main_form.h"
#include "app/gui/pages/erase_count_page.h"
#include "app/gui/pages/info_page.h"
#include "app/gui/rows_model.h"
#include "app/page_table.h"
#include "chart/chart.h"
#include "flash/gui/dbs_dps_page.h"
#include "flash/gui/flash_rw_page.h"
#include "reports/gui/erase_count_analyze_form.h"
#include "support/current_dir.h"
#include "support/simulated_drives.h"
#include "support/tab_sheets.h"
#include "support/temp_dir.h"

namespace dozered {
namespace {

// One dialog as the test saw it.
struct DialogSeen {
  std::string dialog;      // object name
  std::string fileName;    // the name it opened with, without folder and extension ("" for none)
  std::filesystem::path answer;
};

class SaveCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::InstallDrives(*state_, {testing::ControllerDrive(2)});
    state_->ExecutableDir = dir_.Path("exe");
    std::filesystem::create_directories(state_->ExecutableDir);
    StartupFiles files;
    files.StringIni = dir_.Write("String.ini", "[VE4810VO]\r\n");
    files.TabSheetIni = dir_.Write("TabSheet.ini", testing::kAllPagesTabSheet);
    form_ = std::make_unique<TMainForm>(*state_, files);
    form_->SetMessageBoxHandler([this](const std::string& text, const std::string&, MessageIcon) {
      boxes_.push_back(text);
    });
    form_->FormCreate();
    ASSERT_EQ(state_->SelectedDevice, 0);
    commands_ = form_->SaveCommands;
    ASSERT_NE(commands_, nullptr);
    commands_->SetSaveDialogHandler([this](QFileDialog& dialog) {
      const QFileInfo selected(dialog.selectedFiles().value(0));
      DialogSeen seen{dialog.objectName().toStdString(),
                      selected.isDir() ? std::string() : selected.completeBaseName().toStdString(), {}};
      if (!answers_.empty()) {
        seen.answer = answers_.front();
        answers_.erase(answers_.begin());
      }
      dialogs_.push_back(seen);
      return seen.answer;
    });
    analyze_ = std::make_unique<TMEraseCount_Analyze>(*state_);
    commands_->SetAnalyzeWindow(analyze_.get());
    analyze_->SetShowModalHandler([this](TMEraseCount_Analyze&) { ++shown_; });
  }

  void Activate(int page) {
    form_->PC_Main->setCurrentIndex(page == 0 ? 1 : 0);
    form_->PC_Main->setCurrentIndex(page);
  }

  testing::TempDir dir_;
  testing::CurrentDir cwd_{dir_.Dir()};
  std::unique_ptr<AppState> state_ = std::make_unique<AppState>();
  std::unique_ptr<TMainForm> form_;
  std::unique_ptr<TMEraseCount_Analyze> analyze_;
  TSaveCommands* commands_ = nullptr;
  std::vector<std::filesystem::path> answers_;
  std::vector<DialogSeen> dialogs_;
  std::vector<std::string> boxes_;
  int shown_ = 0;
};

TEST_F(SaveCommandsTest, MenusDialogsAndTheirControls) {
  EXPECT_EQ(commands_->MI_SaveToBinFile->text(), "Save To BIN File");
  EXPECT_EQ(commands_->MI_SaveToTxtFile->text(), "&Save To TXT File");
  EXPECT_EQ(commands_->SD_SaveBinFile->nameFilters(), QStringList{"bin (*.bin)"});
  EXPECT_EQ(commands_->SD_SaveBinFile->defaultSuffix(), "bin");
  EXPECT_EQ(commands_->SD_SaveTxtFile->nameFilters(), QStringList{"txt (*.txt)"});
  EXPECT_EQ(commands_->SD_SaveTxtFile->defaultSuffix(), "txt");
  for (const char* name : {"MM_ReadFlashID", "MM_SmartInfo", "MM_EraseCount", "MM_FlashRW", "MM_FlashRW_Spare",
                           "LV_IdentifyTable", "LV_SmartInfo", "LV_CardInfo", "LV_CidOption", "LV_ReadErrorLog",
                           "MM_ChunkECC", "MM_DbsDps"}) {
    auto* control = form_->findChild<QWidget*>(name);
    ASSERT_NE(control, nullptr) << name;
    EXPECT_EQ(control->contextMenuPolicy(), Qt::CustomContextMenu) << name;
  }
}

TEST_F(SaveCommandsTest, BinOfFlashIdPageHoldsTheCardInformationRecord) {
  Activate(kPageReadFlashId);
  answers_ = {dir_.Dir() / "FlashId.bin"};
  commands_->MI_SaveToBinFile->trigger();
  ASSERT_EQ(dialogs_.size(), 1u);
  EXPECT_EQ(dialogs_[0].dialog, "SD_SaveBinFile");
  EXPECT_EQ(dialogs_[0].fileName, "FlashId");
  EXPECT_EQ(std::filesystem::file_size(dir_.Dir() / "FlashId.bin"), 1616u);
}

TEST_F(SaveCommandsTest, FlashRwSecondDialogComesAfterACancelledFirst) {
  Activate(kPageFlashRw);
  form_->FlashRwPage->CMBB_FlashRW_Sector->setCurrentIndex(0);  // "1 K": 2 data sectors
  answers_ = {std::filesystem::path(), dir_.Dir() / "spare.bin"};
  commands_->MI_SaveToBinFile->trigger();
  ASSERT_EQ(dialogs_.size(), 2u);
  EXPECT_EQ(dialogs_[0].fileName, "FlashData");
  EXPECT_EQ(dialogs_[1].fileName, "FlashDataSpare");
  EXPECT_EQ(std::filesystem::file_size(dir_.Dir() / "spare.bin"), 512u);
  EXPECT_FALSE(std::filesystem::exists(dir_.Dir() / "FlashData.bin"));
}

TEST_F(SaveCommandsTest, TxtOfSmartPageIsTheListLayout) {
  Activate(kPageSmartInfo);
  const Rows rows = form_->InformationPage(kPageSmartInfo)->Model()->RowsData();
  ASSERT_FALSE(rows.empty());
  answers_ = {dir_.Dir() / "smart.txt"};
  commands_->MI_SaveToTxtFile->trigger();
  ASSERT_EQ(dialogs_.size(), 1u);
  EXPECT_EQ(dialogs_[0].dialog, "SD_SaveTxtFile");
  EXPECT_EQ(dialogs_[0].fileName, "SmartData");
  EXPECT_EQ(std::filesystem::file_size(dir_.Dir() / "smart.txt"), 91 + rows.size() * 99);
}

TEST_F(SaveCommandsTest, DbsDpsMemoOpensWithEmptyNameAndEmptyMemoDoesNothing) {
  // The DBS / DPS page's result memo; a stand-in of that name where the page has none yet.
  auto* memo = form_->findChild<QPlainTextEdit*>("MM_DbsDps");
  if (memo == nullptr) {
    memo = new QPlainTextEdit(form_->DbsDpsPage);
    memo->setObjectName("MM_DbsDps");
    commands_->AttachMenus();
  }
  memo->clear();
  EXPECT_EQ(memo->contextMenuPolicy(), Qt::CustomContextMenu);
  Activate(kPageDbsDps);
  answers_ = {dir_.Dir() / "dbs.txt"};
  commands_->MI_SaveToTxtFile->trigger();
  EXPECT_TRUE(dialogs_.empty());
  memo->setPlainText("Block 0001 bad\nBlock 0002 good");
  commands_->MI_SaveToTxtFile->trigger();
  ASSERT_EQ(dialogs_.size(), 1u);
  EXPECT_EQ(dialogs_[0].fileName, "");
  EXPECT_EQ(std::filesystem::file_size(dir_.Dir() / "dbs.txt"), std::string("Block 0001 bad\r\nBlock 0002 good\r\n").size());
}

TEST_F(SaveCommandsTest, CancelledDialogWritesNothing) {
  Activate(kPageCardInfo);
  commands_->MI_SaveToTxtFile->trigger();
  commands_->MI_SaveToBinFile->trigger();
  EXPECT_EQ(dialogs_.size(), 2u);
  EXPECT_TRUE(std::filesystem::is_empty(dir_.Dir() / "exe"));
  for (const auto& entry : std::filesystem::directory_iterator(dir_.Dir())) {
    EXPECT_NE(entry.path().extension(), ".bin") << entry.path();
  }
}

TEST_F(SaveCommandsTest, SaveEraseCountUsesTheTextDialog) {
  answers_ = {dir_.Dir() / "counts.txt"};
  form_->EraseCountPage->BTN_SaveEraseCnt->click();
  ASSERT_EQ(dialogs_.size(), 1u);
  EXPECT_EQ(dialogs_[0].dialog, "SD_SaveTxtFile");
  EXPECT_EQ(dialogs_[0].fileName, "EraseCnt");
  EXPECT_TRUE(std::filesystem::is_regular_file(dir_.Dir() / "counts.txt"));
}

TEST_F(SaveCommandsTest, ShowAnalyzeTwiceListsEachBlockOnce) {
  form_->EraseCountPage->BTN_ShowAnalyze->click();
  const Rows first = form_->EraseCountPage->Model()->RowsData();
  form_->EraseCountPage->BTN_ShowAnalyze->click();
  const Rows& second = form_->EraseCountPage->Model()->RowsData();
  EXPECT_EQ(shown_, 2);
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(second, first);
  analyze_->Chart1->Flush();
  EXPECT_EQ(analyze_->Series1->Points().size(), first.size());
  EXPECT_EQ(analyze_->Series1->Series()->count(), static_cast<int>(first.size()));
  // The drive's range starts at its first erase-counted block and the axis
  // ends at the table's end value, one past the last block listed.
  const int last = std::stoi(first.back()[0], nullptr, 16);
  EXPECT_EQ(analyze_->Chart1->BottomAxis()->max(), static_cast<double>(last + 1));
  ASSERT_EQ(first.front()[0], "0x0008");
  EXPECT_EQ(analyze_->Series1->Points().front().Label, "08");
}

TEST_F(SaveCommandsTest, ShowAnalyzeWithoutDriveShowsTheLastPoints) {
  form_->EraseCountPage->BTN_ShowAnalyze->click();
  const size_t points = analyze_->Series1->Points().size();
  state_->SelectedDevice = -1;
  form_->EraseCountPage->BTN_ShowAnalyze->click();
  EXPECT_EQ(shown_, 2);
  EXPECT_EQ(analyze_->Series1->Points().size(), points);
}

TEST_F(SaveCommandsTest, SaveInfoWritesTheLogFolderAndShowsThePages) {
  form_->InformationPage(kPageSmartInfo)->Model()->Clear();
  form_->BTN_SaveInfo->click();
  EXPECT_EQ(state_->LogFolderName.rfind("LogInfoRB_", 0), 0u);
  const std::filesystem::path folder = dir_.Dir() / state_->LogFolderName;
  EXPECT_EQ(std::filesystem::file_size(folder / "FlashId.bin"), 2048u);
  EXPECT_TRUE(std::filesystem::is_regular_file(folder / "EraseCnt.txt"));
  EXPECT_FALSE(form_->InformationPage(kPageSmartInfo)->Model()->RowsData().empty()) << "the log's read is shown";
  EXPECT_FALSE(state_->SaveLogMode);
  EXPECT_FALSE(state_->EraseCountLogMode);
  ASSERT_FALSE(boxes_.empty());
  EXPECT_EQ(boxes_.back().rfind("Save Log finish!", 0), 0u);
  EXPECT_EQ(form_->LB_StatusBar->text().left(8), "Save Log");
}

TEST(EraseCountAnalyzeTest, WindowChartAndMarker) {
  auto state = std::make_unique<AppState>();
  TMEraseCount_Analyze window(*state);
  EXPECT_EQ(window.windowTitle(), "Show Analyze");
  EXPECT_EQ(window.size(), QSize(753, 255));
  EXPECT_EQ(window.minimumSize(), window.maximumSize());
  EXPECT_EQ(window.Chart1->size(), QSize(745, 250));
  EXPECT_EQ(window.Chart1->Title(), "TChart");
  EXPECT_FALSE(window.Series1->Series()->pointLabelsVisible());
  EXPECT_EQ(window.Series1->Series()->markerSize(), 16);

  const QImage marker = TMEraseCount_Analyze::MarkerImage();
  ASSERT_EQ(marker.size(), QSize(8, 8));
  EXPECT_EQ(marker.pixel(0, 0), 0xFFFFFFFFu);  // white corner
  EXPECT_EQ(marker.pixel(2, 0), 0xFF000080u);  // navy ring
  EXPECT_EQ(marker.pixel(1, 1), 0xFF000080u);
  EXPECT_EQ(marker.pixel(2, 1), 0xFF008080u);  // teal ring
  EXPECT_EQ(marker.pixel(2, 2), 0xFF00FFFFu);  // cyan
  EXPECT_EQ(marker.pixel(3, 2), 0xFF0000FFu);  // blue
  EXPECT_EQ(marker.pixel(3, 3), 0xFF00FFFFu);

  window.PrepareChart(420);
  window.AddBlockPoint(419, 7);
  window.AddBlockPoint(5, 3);
  EXPECT_EQ(window.Chart1->BottomAxis()->min(), 0);
  EXPECT_EQ(window.Chart1->BottomAxis()->max(), 420);
  ASSERT_EQ(window.Series1->Points().size(), 2u);
  EXPECT_EQ(window.Series1->Points()[0].Label, "05");
  EXPECT_EQ(window.Series1->Points()[1].Label, "1A3");
  EXPECT_EQ(window.Series1->Points()[1].Color, QColor(0, 0, 128));
  window.PrepareChart(0);
  EXPECT_TRUE(window.Series1->Points().empty());
}

}  // namespace
}  // namespace dozered
