// The "DBS / DPS" page in the main window against a simulated drive: scan
// mode on and off around a scan, "Cancel" clicked from inside the scan's
// event loop, clicks on anything else refused meanwhile, a failing step, and
// closing the window in the middle of a scan.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTextBlock>
#include <QTimer>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "app/gui/main_form.h"
#include "app/page_table.h"
#include "flash/gui/dbs_dps_page.h"
#include "sim/simulated_drive.h"
#include "support/command_fault_drive.h"
#include "support/recording_feedback.h"
#include "support/simulated_drives.h"
#include "support/tab_sheets.h"
#include "support/temp_dir.h"
#include "support/wire_recorder.h"

namespace dozered {
namespace {

using testing::ControllerDrive;
using testing::RecordedMessageBox;
using testing::WireRecorder;

constexpr uint8_t kReadFlashOpcode = 0x0A;
const QString kZeroEntry = QStringLiteral("00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00");

// What scan mode looks like at one moment.
struct ScanModeView {
  bool exitEnabled = true;
  bool pagesEnabled = true;
  bool deviceListEnabled = true;
  bool rescanEnabled = true;
  bool cancelVisible = false;
  bool cancelEnabled = false;
  QPoint cancelAt;
};

class DbsDpsPageTest : public ::testing::Test {
 protected:
  void Start() {
    fault_ = std::make_shared<CommandFaultDrive>(std::make_shared<sim::SimulatedDrive>(ControllerDrive(2)));
    wire_ = std::make_shared<WireRecorder>(fault_);
    testing::InstallDisks(*state_, {wire_});
    StartupFiles files;
    files.StringIni = dir_.Write("String.ini", "[VE4810VO]\r\n");
    files.TabSheetIni = dir_.Write("TabSheet.ini", testing::kAllPagesTabSheet);
    form_ = std::make_unique<TMainForm>(*state_, files);
    form_->SetMessageBoxHandler([this](const std::string& text, const std::string& caption, MessageIcon icon) {
      boxes_.push_back({text, caption, icon});
    });
    form_->FormCreate();
    form_->resize(1260, 820);
    form_->show();
    form_->PC_Main->setCurrentIndex(kPageDbsDps);
    QApplication::processEvents();
    page_ = form_->DbsDpsPage;
    wire_->ClearLog();
  }

  ScanModeView Look() const {
    ScanModeView v;
    v.exitEnabled = form_->MI_Exit->isEnabled();
    v.pagesEnabled = form_->PC_Main->isEnabled();
    v.deviceListEnabled = form_->CMBB_DeviceList->isEnabled();
    v.rescanEnabled = form_->BTN_ScanDevice->isEnabled();
    v.cancelVisible = page_->BTN_Cancel->isVisible();
    v.cancelEnabled = page_->BTN_Cancel->isEnabled();
    v.cancelAt = page_->mapFrom(form_.get(), page_->BTN_Cancel->pos());
    return v;
  }

  void ExpectScanModeOff() const {
    const ScanModeView v = Look();
    EXPECT_TRUE(v.exitEnabled);
    EXPECT_TRUE(v.pagesEnabled);
    EXPECT_TRUE(v.deviceListEnabled);
    EXPECT_TRUE(v.rescanEnabled);
    EXPECT_FALSE(v.cancelVisible);
    EXPECT_FALSE(page_->InScanMode());
    EXPECT_FALSE(form_->RunOpen());
    EXPECT_EQ(page_->CG_ProgressBar->value(), 0);
  }

  // Runs `during` once, from inside the event loop, when the gauge first
  // reaches `position`.
  void AtGauge(int position, std::function<void()> during) {
    auto done = std::make_shared<bool>(false);
    QObject::connect(page_->CG_ProgressBar, &QProgressBar::valueChanged, page_,
                     [position, during = std::move(during), done](int value) {
                       if (*done || value != position) return;
                       *done = true;
                       QTimer::singleShot(0, during);
                     });
  }

  int ReadFlashCount() const {
    int n = 0;
    for (const testing::VendorCommand& c : wire_->Commands()) n += c.opcode() == kReadFlashOpcode;
    return n;
  }

  std::string Status() const { return form_->LB_StatusBar->text().toStdString(); }
  QString MemoLine(int i) const { return page_->MM_DbsDps->document()->findBlockByNumber(i).text(); }

  testing::TempDir dir_;
  std::unique_ptr<AppState> state_ = std::make_unique<AppState>();
  std::shared_ptr<CommandFaultDrive> fault_;
  std::shared_ptr<WireRecorder> wire_;
  std::unique_ptr<TMainForm> form_;
  TDbsDpsPage* page_ = nullptr;
  std::vector<RecordedMessageBox> boxes_;
};

TEST_F(DbsDpsPageTest, EnteringThePageAndSetShowTheOptionBytes) {
  Start();
  EXPECT_EQ(page_->EDT_DbsDpsOption0->text(), "21");
  EXPECT_EQ(page_->EDT_DbsDpschce->text(), "00");
  EXPECT_TRUE(page_->EDT_DbsDpsOption0->isReadOnly());
  EXPECT_TRUE(page_->EDT_DbsDpschce->isReadOnly());
  EXPECT_FALSE(page_->EDT_DbsDpsChunk->isVisible());
  EXPECT_FALSE(page_->LB_DbsDpsChunk->isVisible());
  EXPECT_EQ(page_->EDT_DbsDpsChunk->text(), "00");
  EXPECT_TRUE(page_->MM_DbsDps->isReadOnly());
  EXPECT_FALSE(page_->BTN_Cancel->isVisible());
  EXPECT_EQ(page_->CMBB_DBS_Sector->currentText(), "1 K");
  EXPECT_EQ(ReadFlashCount(), 0);  // entering the page reads nothing

  page_->SetSettingsDialogHandler([this] {
    state_->FlashOption = 0x31;
    state_->FlashChCe = 0x09;
    state_->SettingsAccepted = true;
  });
  QTest::mouseClick(page_->BTN_DbsDpsSet, Qt::LeftButton);
  EXPECT_EQ(page_->EDT_DbsDpsOption0->text(), "31");
  EXPECT_EQ(page_->EDT_DbsDpschce->text(), "09");
}

TEST_F(DbsDpsPageTest, CancelClickedDuringADbsEndsItWithAllLines) {
  Start();
  ScanModeView during;
  AtGauge(100, [&] {
    during = Look();
    QTest::mouseClick(page_->BTN_Cancel, Qt::LeftButton);
  });
  QTest::mouseClick(page_->BTN_DBS, Qt::LeftButton);

  // During the scan: scan mode, "Cancel" at its place and usable.
  EXPECT_FALSE(during.exitEnabled);
  EXPECT_FALSE(during.pagesEnabled);
  EXPECT_FALSE(during.deviceListEnabled);
  EXPECT_FALSE(during.rescanEnabled);
  EXPECT_TRUE(during.cancelVisible);
  EXPECT_TRUE(during.cancelEnabled);
  EXPECT_EQ(during.cancelAt, QPoint(TDbsDpsPage::kCancelLeft, TDbsDpsPage::kCancelTop));

  // The click was seen before the next step: a few steps, not all 2,048.
  const int reads = ReadFlashCount();
  EXPECT_GE(reads, 101);
  EXPECT_LE(reads, 103);
  // All 2,048 lines below the header; those not reached are zero.
  EXPECT_EQ(page_->MM_DbsDps->document()->blockCount(), 2049);
  EXPECT_TRUE(MemoLine(0).startsWith(QStringLiteral("         00 01 02")));
  EXPECT_TRUE(MemoLine(2048).startsWith(QStringLiteral("00007FF0 ") + kZeroEntry));
  EXPECT_TRUE(MemoLine(reads + 1).contains(kZeroEntry));
  EXPECT_EQ(Status(), "Complete");
  EXPECT_TRUE(form_->TM_StatusBarClear->isActive());
  EXPECT_TRUE(boxes_.empty());
  ExpectScanModeOff();
}

TEST_F(DbsDpsPageTest, ClicksOnAnythingButCancelAreRefusedDuringAScan) {
  Start();
  form_->CMBB_DeviceList->setEnabled(true);
  AtGauge(20, [&] {
    // Another scan, a rescan, another page, "Set": none may start.
    QTest::mouseClick(page_->BTN_DPS, Qt::LeftButton);
    QTest::mouseClick(page_->BTN_DBS, Qt::LeftButton);
    QTest::mouseClick(form_->BTN_ScanDevice, Qt::LeftButton);
    QTest::mouseClick(page_->BTN_DbsDpsSet, Qt::LeftButton);
    form_->MI_Exit->trigger();  // disabled: does nothing
  });
  bool settingsShown = false;
  page_->SetSettingsDialogHandler([&] { settingsShown = true; });
  page_->EDT_DbsDpsBlock->setText("0100");
  QTest::mouseClick(page_->BTN_DPS, Qt::LeftButton);

  EXPECT_EQ(ReadFlashCount(), 256);  // one DPS, nothing else
  EXPECT_EQ(wire_->Commands().size(), 256u);
  EXPECT_FALSE(settingsShown);
  EXPECT_TRUE(form_->isVisible());
  EXPECT_EQ(form_->ActivePage(), kPageDbsDps);
  EXPECT_EQ(page_->MM_DbsDps->document()->blockCount(), 257);
  EXPECT_EQ(Status(), "Complete");
  ExpectScanModeOff();
}

TEST_F(DbsDpsPageTest, AFailingStepShowsTheBoxAndLeavesNoResult) {
  Start();
  page_->MM_DbsDps->setPlainText(QStringLiteral("an earlier result"));
  fault_->FailDataPhaseOf(kReadFlashOpcode);
  QTest::mouseClick(page_->BTN_DPS, Qt::LeftButton);

  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text.rfind("DPS fail(-7)", 0), 0u) << boxes_[0].text;
  EXPECT_EQ(boxes_[0].caption, "Error");
  EXPECT_EQ(boxes_[0].icon, MessageIcon::Error);
  EXPECT_EQ(Status(), "DPS fail");
  EXPECT_TRUE(page_->MM_DbsDps->toPlainText().isEmpty());
  EXPECT_EQ(ReadFlashCount(), 1);
  ExpectScanModeOff();
}

TEST_F(DbsDpsPageTest, ClosingTheWindowDuringAScanCancelsItAndThenCloses) {
  Start();
  AtGauge(50, [&] { form_->close(); });
  QTest::mouseClick(page_->BTN_DBS, Qt::LeftButton);

  // The scan stopped at the close, and showed what it had.
  EXPECT_LT(ReadFlashCount(), 60);
  EXPECT_EQ(page_->MM_DbsDps->document()->blockCount(), 2049);
  EXPECT_EQ(Status(), "Complete");
  ExpectScanModeOff();
  // The window closes once the scan's handler has returned.
  QApplication::processEvents();
  EXPECT_FALSE(form_->isVisible());
  form_.reset();
  QApplication::processEvents();
}

}  // namespace
}  // namespace dozered
