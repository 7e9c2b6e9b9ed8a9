// The information pages of the main window against a simulated drive: page
// changes read the page, the raw/decoded switch, the status line and the
// IDENTIFY description.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "app/gui/main_form.h"
#include "app/gui/pages/erase_count_page.h"
#include "app/gui/pages/identify_table_page.h"
#include "app/gui/pages/info_page.h"
#include "app/gui/pages/mark_bad_info_page.h"
#include "app/gui/pages/microcode_page.h"
#include "app/gui/rows_model.h"
#include "app/page_read.h"
#include "app/page_table.h"
#include "device/virtual_platform.h"
#include "protocol/result_codes.h"
#include "sim/code_images.h"
#include "sim/drive_identity.h"
#include "support/command_fault_drive.h"
#include "support/recording_feedback.h"
#include "support/simulated_drives.h"
#include "support/tab_sheets.h"
#include "support/temp_dir.h"

namespace dozered {
namespace {

using testing::ControllerDrive;
using testing::PlainDisk;
using testing::RecordedMessageBox;

constexpr const char* kAllPages = testing::kAllPagesTabSheet;

class InformationPagesTest : public ::testing::Test {
 protected:
  void Start(const sim::DriveConfig& config) {
    form_.reset();
    state_ = std::make_unique<AppState>();
    fault_ = std::make_shared<CommandFaultDrive>(std::make_shared<sim::SimulatedDrive>(config));
    platform_ = &testing::InstallDisks(*state_, {fault_});
    state_->ExecutableDir = dir_.Path("exe");
    std::filesystem::create_directories(state_->ExecutableDir);
    StartupFiles files;
    files.StringIni = dir_.Write("String.ini", "[VE4810VO]\r\n");
    files.TabSheetIni = dir_.Write("TabSheet.ini", kAllPages);
    form_ = std::make_unique<TMainForm>(*state_, files);
    form_->SetMessageBoxHandler([this](const std::string& text, const std::string& caption, MessageIcon icon) {
      boxes_.push_back({text, caption, icon});
    });
    form_->FormCreate();
  }

  // Makes `page` active as the user does.
  void Switch(int page) {
    if (form_->ActivePage() == page) {
      form_->SetActivePage(page == 0 ? 1 : 0);
    }
    form_->PC_Main->setCurrentIndex(page);
  }

  std::string Status() const { return form_->LB_StatusBar->text().toStdString(); }
  QPlainTextEdit* Memo(int page) const { return form_->InformationPage(page)->Memo(); }
  QTreeView* List(int page) const { return form_->InformationPage(page)->List(); }
  const Rows& RowsOf(int page) const { return form_->InformationPage(page)->Model()->RowsData(); }
  bool MemoShown(int page) const { return !Memo(page)->isHidden(); }
  bool ListShown(int page) const { return !List(page)->isHidden(); }

  void PutMarkBadProgram() {
    const auto isp = sim::MakeIspVersion("V126", "VE01");
    const auto file = sim::BuildDiagnosticFile(sim::DiagnosticKind::kReadBadInfo, isp, false);
    std::filesystem::create_directories(state_->ExecutableDir / "V126");
    std::ofstream(state_->ExecutableDir / "V126/DgISP_ReadBadInfo.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  }

  testing::TempDir dir_;
  std::unique_ptr<AppState> state_;
  std::unique_ptr<TMainForm> form_;
  std::shared_ptr<CommandFaultDrive> fault_;
  VirtualPlatform* platform_ = nullptr;
  std::vector<RecordedMessageBox> boxes_;
};

TEST_F(InformationPagesTest, StartUpReadsTheFlashIdPage) {
  Start(ControllerDrive(2));
  EXPECT_EQ(form_->ActivePage(), kPageReadFlashId);
  EXPECT_EQ(Status(), kReadFlashIdSuccessText);
  EXPECT_TRUE(form_->TM_StatusBarClear->isActive());
  EXPECT_TRUE(Memo(0)->toPlainText().startsWith("         00 01 02 03"));
  EXPECT_EQ(Memo(0)->toPlainText().count(QLatin1Char('\n')), 1 + 1616 / 16);
  EXPECT_TRUE(List(0)->isHidden());
  EXPECT_EQ(Memo(0)->font().styleHint(), QFont::TypeWriter);
}

// Every information page read on entering it, with its message and views.
TEST_F(InformationPagesTest, EnteringAPageReadsIt) {
  Start(ControllerDrive(2));
  PutMarkBadProgram();
  struct Case {
    int page;
    const char* message;
    bool memo;
    bool rows;
  } cases[] = {
      {kPageIdentifyTable, kReadConfigurationTableSuccessText, true, true},
      {kPageSmartInfo, kReadSmartSuccessText, true, true},
      {kPageCardInfo, kReadCardInfoSuccessText, true, true},
      {kPageEraseCount, kReadEraseCountSuccessText, true, true},
      {kPageCidOption, kRetrieveCidSuccessText, true, false},
      {kPageMarkBadInfo, kParsingMarkBadSuccessText, false, true},
      {kPageErrorLog, kReadErrorLogSuccessText, true, true},
      {kPageReadFlashId, kReadFlashIdSuccessText, true, false},
  };
  for (const Case& c : cases) {
    Switch(c.page);
    EXPECT_EQ(Status(), c.message) << c.page;
    EXPECT_TRUE(form_->TM_StatusBarClear->isActive()) << c.page;
    if (c.memo) {
      EXPECT_FALSE(Memo(c.page)->toPlainText().isEmpty()) << c.page;
    }
    EXPECT_EQ(!RowsOf(c.page).empty(), c.rows) << c.page;
  }
  EXPECT_EQ(form_->MarkBadInfoPage->EDT_TtlMarkBadCount->text().toInt() > 0, !RowsOf(kPageMarkBadInfo).empty());
  EXPECT_EQ(RowsOf(kPageEraseCount).front()[0].substr(0, 2), "0x");
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(InformationPagesTest, PagesWithoutRecordsAreNotSupported) {
  Start(ControllerDrive(2));
  for (int page : {kPageL2P, kPageMicrocode}) {
    Switch(page);
    EXPECT_EQ(Status(), kFunctionNotSupportedText);
    EXPECT_TRUE(form_->TM_StatusBarClear->isActive());
    EXPECT_FALSE(form_->CHKB_RawData->isEnabled());
  }
  // The Microcode page has its controls; its buttons do nothing.
  TMicrocodePage* micro = form_->MicrocodePage;
  EXPECT_EQ(micro->BTN_Microcode_OpenFile->text(), "Open File");
  EXPECT_EQ(micro->BTN_Microcode_Download->text(), "Download");
  micro->BTN_Microcode_OpenFile->click();
  micro->BTN_Microcode_Download->click();
  EXPECT_TRUE(micro->MM_Microcode->toPlainText().isEmpty());
  EXPECT_TRUE(micro->EDT_Microcode_FilePath->text().isEmpty());
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(InformationPagesTest, FailedReadsKeepTheViews) {
  struct Case {
    int page;
    uint8_t opcode;
    const char* format;
  } cases[] = {{kPageSmartInfo, 0x3E, kReadSmartFailFormat},
               {kPageEraseCount, 0x42, kReadEraseCountFailFormat},
               {kPageCidOption, 0x47, kRetrieveCidFailFormat}};
  for (const Case& c : cases) {
    Start(ControllerDrive(2));
    Switch(c.page);
    const QString dump = Memo(c.page)->toPlainText();
    const Rows rows = RowsOf(c.page);
    fault_->FailDataPhaseOf(c.opcode);
    Switch(c.page);
    char expected[64];
    std::snprintf(expected, sizeof expected, c.format, kResultDataPhaseFailed);
    EXPECT_EQ(Status(), expected);
    EXPECT_TRUE(form_->TM_StatusBarClear->isActive());
    EXPECT_EQ(Memo(c.page)->toPlainText(), dump) << c.page;
    EXPECT_EQ(RowsOf(c.page), rows) << c.page;
    EXPECT_EQ(platform_->OpenHandleCount(), 0) << "drive left open after page " << c.page;
  }
}

TEST_F(InformationPagesTest, FailedMarkBadReadEmptiesTheListAndStays) {
  Start(ControllerDrive(1));
  Switch(kPageMarkBadInfo);
  ASSERT_EQ(Status(), kParsingMarkBadSuccessText);
  fault_->FailDataPhaseOf(0x43);
  form_->TM_StatusBarClear->stop();
  Switch(kPageMarkBadInfo);
  char expected[64];
  std::snprintf(expected, sizeof expected, kReadMarkBadFailFormat, kResultDataPhaseFailed);
  EXPECT_EQ(Status(), expected);
  EXPECT_FALSE(form_->TM_StatusBarClear->isActive());
  EXPECT_TRUE(RowsOf(kPageMarkBadInfo).empty());
}

TEST_F(InformationPagesTest, MarkBadProgramMissingShowsTheLoaderBoxAndStillReads) {
  Start(ControllerDrive(2));
  Switch(kPageMarkBadInfo);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text.rfind("It can't open ", 0), 0u);
  EXPECT_EQ(boxes_[0].caption, "Error");
  // The drive refuses the read without its program.
  EXPECT_EQ(Status().rfind("Read mark bad info fail(", 0), 0u) << Status();
}

TEST_F(InformationPagesTest, NoDriveSelected) {
  Start(PlainDisk());
  ASSERT_EQ(state_->SelectedDevice, -1);
  EXPECT_FALSE(form_->PC_Main->isEnabled());
  EXPECT_TRUE(Memo(0)->toPlainText().isEmpty());
  form_->SetActivePage(kPageReadFlashId);
  form_->BTN_ReadDataClick();
  EXPECT_EQ(Status(), kNoDeviceText);
  for (int page : {1, 2, 3, 4, 5, 10, 13}) {
    form_->SetActivePage(page);
    form_->BTN_ReadDataClick();
    EXPECT_EQ(Status(), kWaitingText) << page;
  }
}

TEST_F(InformationPagesTest, RawSwitchIsRememberedPerPageAndResetByAScan) {
  Start(ControllerDrive(2));
  Switch(kPageIdentifyTable);
  EXPECT_TRUE(form_->CHKB_RawData->isEnabled());
  EXPECT_FALSE(form_->CHKB_RawData->isChecked());
  EXPECT_TRUE(ListShown(1));
  EXPECT_FALSE(MemoShown(1));
  form_->CHKB_RawData->click();
  EXPECT_EQ(state_->RawViewFlags[1], 1);
  EXPECT_TRUE(MemoShown(1));
  EXPECT_FALSE(ListShown(1));

  Switch(kPageSmartInfo);
  EXPECT_FALSE(form_->CHKB_RawData->isChecked());
  EXPECT_TRUE(ListShown(2));
  Switch(kPageIdentifyTable);
  EXPECT_TRUE(form_->CHKB_RawData->isChecked());
  EXPECT_TRUE(MemoShown(1));

  form_->BTN_ScanDevice->click();
  EXPECT_EQ(state_->RawViewFlags[1], 0);
  EXPECT_FALSE(form_->CHKB_RawData->isChecked());
  EXPECT_FALSE(form_->CHKB_RawData->isEnabled());
  EXPECT_EQ(form_->ActivePage(), kPageReadFlashId);
  Switch(kPageIdentifyTable);
  EXPECT_TRUE(ListShown(1));
  EXPECT_FALSE(MemoShown(1));
}

TEST_F(InformationPagesTest, EraseCountPageOpensOnItsListWhateverTheFlag) {
  Start(ControllerDrive(2));
  Switch(kPageEraseCount);
  form_->CHKB_RawData->click();
  ASSERT_EQ(state_->RawViewFlags[4], 1);
  ASSERT_TRUE(MemoShown(4));
  Switch(kPageCardInfo);
  form_->CHKB_RawData->click();  // Card Info raw: the box stays checked
  Switch(kPageEraseCount);
  EXPECT_TRUE(form_->CHKB_RawData->isChecked());
  EXPECT_TRUE(form_->CHKB_RawData->isEnabled());
  EXPECT_TRUE(ListShown(4));
  EXPECT_FALSE(MemoShown(4));
  EXPECT_EQ(RowsOf(4).size(), static_cast<size_t>(form_->EraseCountPage->LV_EraseCount->model()->rowCount()));
  // Clicking toggles as usual.
  form_->CHKB_RawData->click();
  EXPECT_EQ(state_->RawViewFlags[4], 0);
  EXPECT_TRUE(ListShown(4));
  form_->CHKB_RawData->click();
  EXPECT_EQ(state_->RawViewFlags[4], 1);
  EXPECT_TRUE(MemoShown(4));
}

TEST_F(InformationPagesTest, FlashPagesTakeTheRawBoxAsTheirOwnRuleSays) {
  Start(ControllerDrive(2));
  QSignalSpy activated(form_.get(), &TMainForm::FlashPageActivated);
  Switch(kPageSmartInfo);
  form_->CHKB_RawData->click();
  Switch(kPageDbsDps);
  EXPECT_TRUE(form_->CHKB_RawData->isEnabled());
  EXPECT_TRUE(form_->CHKB_RawData->isChecked());
  // The click changes nothing there.
  form_->CHKB_RawData->click();
  EXPECT_EQ(state_->RawViewFlags[kPageDbsDps], 0);
  EXPECT_EQ(state_->RawViewFlags[kPageSmartInfo], 1);
  for (int page : {kPageFlashRw, kPageFlashDiagnosis}) {
    Switch(page);
    EXPECT_FALSE(form_->CHKB_RawData->isChecked()) << page;
    EXPECT_FALSE(form_->CHKB_RawData->isEnabled()) << page;
  }
  ASSERT_EQ(activated.size(), 3);
  EXPECT_EQ(activated[0][0].toInt(), kPageDbsDps);
  EXPECT_EQ(activated[2][0].toInt(), kPageFlashDiagnosis);
}

TEST_F(InformationPagesTest, PageChangeHidesTheProgressBarAndClearsPanelOne) {
  Start(ControllerDrive(2));
  form_->ProcessBar->setVisible(true);
  form_->ProcessBar->setValue(40);
  form_->StatusBarPanel(1)->setText("old");
  Switch(kPageCardInfo);
  EXPECT_TRUE(form_->ProcessBar->isHidden());
  EXPECT_EQ(form_->ProcessBar->value(), 0);
  EXPECT_TRUE(form_->StatusBarPanel(1)->text().isEmpty());
}

TEST_F(InformationPagesTest, ClickInTheIdentifyListShowsTheDescription) {
  Start(ControllerDrive(2));
  Switch(kPageIdentifyTable);
  QTreeView* list = form_->IdentifyTablePage->LV_IdentifyTable;
  form_->LV_IdentifyTableClick();  // no row selected: nothing
  EXPECT_TRUE(form_->StatusBarPanel(1)->text().isEmpty());
  const Rows& rows = RowsOf(kPageIdentifyTable);
  ASSERT_GT(rows.size(), 2u);
  const QModelIndex index = list->model()->index(2, 0);
  list->setCurrentIndex(index);
  emit list->clicked(index);
  EXPECT_EQ(form_->StatusBarPanel(1)->text().toStdString(), rows[2][1]);
}

// The description follows the current row when the keyboard moves it, and
// the Item column is as wide as its longest caption.
TEST_F(InformationPagesTest, IdentifyListFollowsTheKeyboardAndFitsItsCaptions) {
  Start(ControllerDrive(2));
  form_->show();
  Switch(kPageIdentifyTable);
  QTreeView* list = form_->IdentifyTablePage->LV_IdentifyTable;
  const Rows& rows = RowsOf(kPageIdentifyTable);
  ASSERT_GT(rows.size(), 3u);
  list->setFocus();
  list->setCurrentIndex(list->model()->index(0, 0));
  QTest::keyClick(list, Qt::Key_Down);
  QTest::keyClick(list, Qt::Key_Down);
  EXPECT_EQ(list->currentIndex().row(), 2);
  EXPECT_EQ(form_->StatusBarPanel(1)->text().toStdString(), rows[2][1]);

  int widest = 0;
  for (const Row& row : rows) widest = std::max(widest, list->fontMetrics().horizontalAdvance(QString::fromStdString(row[0])));
  EXPECT_GE(list->columnWidth(0), widest);
}

TEST_F(InformationPagesTest, FlashIdReadRefreshesOnlyTheTemperatureLine) {
  Start(ControllerDrive(1));
  QString info = form_->MM_DeviceInfo->toPlainText();
  ASSERT_TRUE(info.contains("Temperature Sensor(D): 38"));
  info.replace("Temperature Sensor(D): 38", "Temperature Sensor(D): 99");
  form_->MM_DeviceInfo->setPlainText(info);
  Switch(kPageCardInfo);
  Switch(kPageReadFlashId);
  EXPECT_EQ(form_->MM_DeviceInfo->toPlainText(),
            QString(info).replace("Temperature Sensor(D): 99", "Temperature Sensor(D): 38"));
}

}  // namespace
}  // namespace dozered
