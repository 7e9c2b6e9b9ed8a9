// The Flash RW page in the main window against a simulated drive: entering
// the page, Read and the steppers, Write with multi-page, the views and their
// column headers, the busy rule and the status line.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <memory>
#include <numeric>
#include <set>

#include "app/gui/main_form.h"
#include "app/page_table.h"
#include "flash/gui/dump_view.h"
#include "flash/gui/flash_rw_page.h"
#include "flash/gui/up_down.h"
#include "sim/simulated_drive.h"
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

int Lines(const QPlainTextEdit* memo) { return memo->document()->blockCount(); }
std::string Text(const QLineEdit* field) { return field->text().toStdString(); }
std::string Text(const QLabel* label) { return label->text().toStdString(); }

class FlashRwPageTest : public ::testing::Test {
 protected:
  void Start(int cardMode = 2) {
    wire_ = std::make_shared<WireRecorder>(std::make_shared<sim::SimulatedDrive>(ControllerDrive(cardMode)));
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
    QApplication::processEvents();
    page_ = form_->FlashRwPage;
    wire_->ClearLog();
  }

  // Makes the page active as the user does.
  void Enter() {
    form_->PC_Main->setCurrentIndex(kPageFlashRw);
    QApplication::processEvents();
  }

  std::string Status() const { return form_->LB_StatusBar->text().toStdString(); }
  void Click(QWidget* button) { QTest::mouseClick(button, Qt::LeftButton); }
  void Arrow(TUpDown* stepper, bool up) { Click(up ? stepper->UpButton() : stepper->DownButton()); }

  std::vector<uint8_t> Opcodes() const {
    std::vector<uint8_t> ops;
    for (const testing::VendorCommand& c : wire_->Commands()) ops.push_back(c.opcode());
    return ops;
  }

  testing::TempDir dir_;
  std::unique_ptr<AppState> state_ = std::make_unique<AppState>();
  std::shared_ptr<WireRecorder> wire_;
  std::unique_ptr<TMainForm> form_;
  TFlashRwPage* page_ = nullptr;
  std::vector<RecordedMessageBox> boxes_;
};

TEST_F(FlashRwPageTest, EnteringThePageShowsTheOptionsAndReads) {
  Start();
  EXPECT_EQ(Text(page_->EDT_FlashRWOption0), "00");
  Enter();
  EXPECT_EQ(Text(page_->EDT_FlashRWOption0), "21");
  EXPECT_EQ(Text(page_->EDT_FlashRWchce), "00");
  EXPECT_EQ(Text(page_->STIC_FlashRWPlane), "00");
  EXPECT_EQ(Opcodes(), std::vector<uint8_t>{0x0A});
  EXPECT_EQ(Status(), "Read flash successful");
  EXPECT_TRUE(form_->TM_StatusBarClear->isActive());
  EXPECT_EQ(Lines(page_->MM_FlashRW), 64);  // "1 K"
  EXPECT_EQ(Lines(page_->MM_FlashRW_Spare), 32);
  EXPECT_TRUE(page_->MM_FlashRW->toPlainText().startsWith("00000000 "));
  EXPECT_TRUE(form_->ProcessBar->isVisible());
  EXPECT_FALSE(form_->CHKB_RawData->isEnabled());
  // Normal firmware: no transfer rate.
  EXPECT_FALSE(page_->CHKB_FlashClock->isVisible());
  EXPECT_FALSE(page_->EDT_FlashClock->isVisible());
  // The controls of operations still to come are there, visibly disabled.
  for (QWidget* control : std::initializer_list<QWidget*>{page_->EDT_LBAIn, page_->BTN_LtoP,
                                                          page_->BTN_Distribution, page_->EDT_Offset,
                                                          page_->BTN_Dump_ISP, page_->BTN_Dump_Info}) {
    EXPECT_TRUE(control->isVisible()) << control->objectName().toStdString();
    EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
  }
  // Once bound, a control follows its rule: the distribution is for normal firmware.
  page_->BindControl(page_->BTN_Distribution);
  EXPECT_TRUE(page_->BTN_Distribution->isEnabled());

  // Entering again reads nothing: the option field did not change.
  form_->PC_Main->setCurrentIndex(kPageCardInfo);
  wire_->ClearLog();
  Enter();
  EXPECT_TRUE(Opcodes().empty());
}

TEST_F(FlashRwPageTest, TransferRateIsOfferedOutsideTheNormalFirmware) {
  Start(1);
  page_->CHKB_FlashClock->setChecked(true);
  Enter();
  EXPECT_TRUE(page_->CHKB_FlashClock->isVisible());
  EXPECT_FALSE(page_->CHKB_FlashClock->isChecked());
  page_->BindControl(page_->BTN_Distribution);
  EXPECT_FALSE(page_->BTN_Distribution->isEnabled());
}

TEST_F(FlashRwPageTest, ReadAndSteppersKeepTheMarkedByte) {
  Start();
  Enter();
  page_->CMBB_FlashRW_Sector->setCurrentIndex(4);  // "16 K": 33 sectors
  page_->EDT_FlashRWBlock->setText("0006");
  wire_->ClearLog();
  Click(page_->BTN_FlashRW_Read);
  ASSERT_EQ(wire_->Commands().size(), 1u);
  EXPECT_EQ(wire_->Commands()[0].dataSectors, 33u);
  EXPECT_EQ(Lines(page_->MM_FlashRW), 1024);
  // Mark a byte far down, then step through pages.
  QTextCursor mark(page_->MM_FlashRW->document());
  mark.setPosition(600 * 79 + 12);
  mark.setPosition(600 * 79 + 14, QTextCursor::KeepAnchor);
  page_->MM_FlashRW->setTextCursor(mark);
  const int scrolled = page_->MM_FlashRW->verticalScrollBar()->value();
  ASSERT_GT(scrolled, 0);
  struct Step {
    TUpDown* stepper;
    bool up;
    QLineEdit* field;
    const char* after;
  } steps[] = {
      {page_->UDwn_FlashRWPage, true, page_->EDT_FlashRWPage, "0001"},
      {page_->UDwn_FlashRWPage, true, page_->EDT_FlashRWPage, "0002"},
      {page_->UDwn_FlashRWBlock, false, page_->EDT_FlashRWBlock, "0005"},
      {page_->UDwn_FlashRWChunk, true, page_->EDT_FlashRWChunk, "01"},
      {page_->UDwn_FlashRWPage, false, page_->EDT_FlashRWPage, "0001"},
  };
  for (const Step& s : steps) {
    wire_->ClearLog();
    Arrow(s.stepper, s.up);
    EXPECT_EQ(Text(s.field), s.after);
    EXPECT_EQ(Opcodes(), std::vector<uint8_t>{0x0A});
    EXPECT_EQ(page_->MM_FlashRW->textCursor().anchor(), 600 * 79 + 12);
    EXPECT_EQ(page_->MM_FlashRW->textCursor().position(), 600 * 79 + 14);
    EXPECT_EQ(page_->MM_FlashRW->verticalScrollBar()->value(), scrolled);
  }
  // The arrow keys in the page field step it too.
  page_->EDT_FlashRWPage->setFocus();
  QTest::keyClick(page_->EDT_FlashRWPage, Qt::Key_Up);
  EXPECT_EQ(Text(page_->EDT_FlashRWPage), "0002");
  // A field that is not a number: an error naming it, nothing sent.
  page_->EDT_FlashRWBlock->setText("x5");
  wire_->ClearLog();
  Arrow(page_->UDwn_FlashRWBlock, true);
  EXPECT_EQ(Text(page_->EDT_FlashRWBlock), "x5");
  EXPECT_TRUE(wire_->Log().empty());
  ASSERT_FALSE(boxes_.empty());
  EXPECT_EQ(boxes_.back(), (RecordedMessageBox{"Block: \"x5\" is not a hexadecimal number", "Error", MessageIcon::Error}));
}

TEST_F(FlashRwPageTest, OptionSteppersAndSetRewriteTheOptionFields) {
  Start();
  Enter();
  state_->FlashChCe = 0x40;  // "Enable Max ECC"
  page_->SetSettingsDialogHandler([this] {
    state_->FlashOption = 0x63;
    state_->FlashChCe = 0x4A;
    state_->SettingsAccepted = true;
  });
  wire_->ClearLog();
  Click(page_->BTN_FlashRWSet);
  EXPECT_EQ(Text(page_->EDT_FlashRWOption0), "63");
  EXPECT_EQ(Text(page_->EDT_FlashRWchce), "4A");
  EXPECT_EQ(Text(page_->STIC_FlashRWPlane), "01");
  EXPECT_EQ(Text(page_->STIC_FlashRWCH), "02");
  EXPECT_EQ(Text(page_->STIC_FlashRWCE), "01");
  ASSERT_EQ(Opcodes(), std::vector<uint8_t>{0x0A});
  EXPECT_EQ(wire_->Commands()[0].block[10], 0x4A);

  Arrow(page_->UDwn_FlashRWCE, true);  // channel: Max ECC stays
  EXPECT_EQ(Text(page_->EDT_FlashRWchce), "4B");
  EXPECT_EQ(Text(page_->STIC_FlashRWCH), "03");
  Arrow(page_->UDwn_FlashRWIntlv, true);  // interleave: Max ECC goes
  EXPECT_EQ(Text(page_->EDT_FlashRWchce), "13");
  EXPECT_EQ(Text(page_->STIC_FlashRWCE), "02");
  Arrow(page_->UDwn_FlashRWPlane, true);
  EXPECT_EQ(Text(page_->EDT_FlashRWOption0), "A3");
  EXPECT_EQ(Text(page_->STIC_FlashRWPlane), "02");
  Arrow(page_->UDwn_FlashRWPlane, true);
  wire_->ClearLog();
  Arrow(page_->UDwn_FlashRWPlane, true);  // at plane 3: no change, no read
  EXPECT_EQ(Text(page_->EDT_FlashRWOption0), "E3");
  EXPECT_TRUE(wire_->Log().empty());
}

TEST_F(FlashRwPageTest, FillEraseAndMultiPageWrite) {
  Start();
  Enter();
  page_->EDT_FlashRWBlock->setText("0006");
  page_->EDT_FlashRWPage->setText("0020");
  page_->EDT_FlashRWFillData->clear();
  QTest::keyClicks(page_->EDT_FlashRWFillData, "c3");
  EXPECT_EQ(Text(page_->EDT_FlashRWFillData), "C3");
  Click(page_->BTN_FlashRW_FillData);
  EXPECT_EQ(Lines(page_->MM_FlashRW), 3 * 32);  // data and the spare sector
  EXPECT_TRUE(page_->MM_FlashRW_Spare->toPlainText().isEmpty());
  EXPECT_TRUE(page_->MM_FlashRW->toPlainText().contains("C3 C3 C3"));

  Click(page_->BTN_FlashRW_Erase);
  EXPECT_EQ(Status(), "Erase flash successful");
  page_->CHKB_FlashRW_MPProg->setChecked(true);
  page_->EDT_FlashRWMutiPageWrite->setText("3");
  wire_->ClearLog();
  Click(page_->BTN_FlashRW_Write);
  EXPECT_EQ(Status(), "Write flash successful");
  EXPECT_EQ(Opcodes(), (std::vector<uint8_t>{0x0B, 0x0B, 0x0B}));

  for (const char* p : {"0020", "0021", "0022", "0023"}) {
    page_->EDT_FlashRWPage->setText(p);
    Click(page_->BTN_FlashRW_Read);
    EXPECT_EQ(page_->MM_FlashRW->toPlainText().contains("C3 C3 C3"), std::string(p) != "0023") << p;
  }
}

// The busy rule: while a run talks to the drive, the window takes no click;
// after a run that failed in its middle, the page control works again.
TEST_F(FlashRwPageTest, PageControlIsBusyDuringAWriteRunAndFreeAfterItFailed) {
  Start();
  Enter();
  page_->EDT_FlashRWBlock->setText("0007");
  page_->CHKB_FlashRW_MPProg->setChecked(true);
  page_->EDT_FlashRWMutiPageWrite->setText("4");
  QTabBar* tabs = form_->PC_Main->tabBar();
  bool busy = false;
  int page_during_run = -1;
  wire_->failDataOut = [&](const std::vector<uint8_t>& block, const testing::WireAccess&) {
    if (block[1] != 0x0B) return false;
    if (block[4] == 1) {
      busy = form_->RunOpen();
      QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(kPageCardInfo).center());
      page_during_run = form_->ActivePage();
    }
    return block[4] == 2;
  };
  Click(page_->BTN_FlashRW_Write);
  EXPECT_TRUE(busy);
  EXPECT_EQ(page_during_run, kPageFlashRw);
  EXPECT_EQ(Status(), "Write flash fail(-7)--Page: 0x0002");
  EXPECT_FALSE(form_->RunOpen());
  EXPECT_TRUE(form_->PC_Main->isEnabled());
  QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(kPageCardInfo).center());
  EXPECT_EQ(form_->ActivePage(), kPageCardInfo);
}

// The header above each view stands exactly above the dump's byte columns,
// also when the view has scrolled sideways: both are drawn in the same font,
// so the columns the header's "00" to "0F" ink equal those the first dump
// line's "00" to "0F" ink.
TEST_F(FlashRwPageTest, HeaderStaysAboveTheDumpColumns) {
  Start();
  Enter();
  // A first line that reads 00 01 02 ... 0F in both views.
  std::vector<uint8_t> bytes(512);
  std::iota(bytes.begin(), bytes.end(), uint8_t{0});
  FlashOutcome out;
  out.RawView = DumpLines(*state_, bytes);
  out.SpareView = out.RawView;
  page_->ShowViews(out);

  auto ink_columns = [](const QImage& image, QRect band) {
    std::set<int> columns;
    for (int x = band.left(); x <= band.right(); ++x) {
      for (int y = band.top(); y <= band.bottom(); ++y) {
        if (qGray(image.pixel(x, y)) < 128) {
          columns.insert(x);
          break;
        }
      }
    }
    return columns;
  };
  auto check = [&](TDumpView* view, const char* what) {
    QApplication::processEvents();
    const QImage image = page_->grab().toImage();
    const qreal ratio = image.devicePixelRatio();
    ASSERT_EQ(ratio, 1.0);
    TDumpHeader* header = view->Header();
    QPlainTextEdit* memo = view->Memo();
    const QRect headerBand(header->mapTo(page_, QPoint(0, 0)), header->size());
    const QRect caret = memo->cursorRect(QTextCursor(memo->document()));
    const QPoint lineTop = memo->viewport()->mapTo(page_, QPoint(0, caret.top()));
    const QRect viewportBand(memo->viewport()->mapTo(page_, QPoint(0, 0)), memo->viewport()->size());
    const QRect lineBand(viewportBand.left(), lineTop.y(), viewportBand.width(), caret.height());
    const std::set<int> headerInk = ink_columns(image, headerBand.intersected(viewportBand.united(headerBand)));
    ASSERT_FALSE(headerInk.empty()) << what;
    // Compare where both lie inside the memo's viewport and the header's ink runs.
    const int from = std::max(*headerInk.begin(), viewportBand.left());
    const int to = std::min(*headerInk.rbegin(), viewportBand.right());
    ASSERT_LT(from, to) << what;
    std::set<int> want, got;
    for (int x : headerInk) {
      if (x >= from && x <= to) want.insert(x);
    }
    for (int x : ink_columns(image, lineBand)) {
      if (x >= from && x <= to) got.insert(x);
    }
    EXPECT_EQ(got, want) << what;
  };
  check(page_->RawView, "raw");
  check(page_->SpareView, "spare");
  // Scrolled sideways: the header moves with the columns.
  form_->resize(700, 820);
  QApplication::processEvents();
  for (TDumpView* view : {page_->RawView, page_->SpareView}) {
    QScrollBar* bar = view->Memo()->horizontalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    bar->setValue(std::min(bar->maximum(), 40));
  }
  check(page_->RawView, "raw, scrolled");
  check(page_->SpareView, "spare, scrolled");
}

}  // namespace
}  // namespace dozered
