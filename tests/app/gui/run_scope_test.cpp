// The busy rule of the main window: while a run is open (a page read, a
// scan), a click the user made cannot start another handler inside it, and
// closing the window cancels the run and closes once it has ended. Also the
// menu items that end and describe the tool.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "app/gui/main_form.h"
#include "app/page_read.h"
#include "app/page_table.h"
#include "device/virtual_drive.h"
#include "sim/simulated_drive.h"
#include "support/recording_feedback.h"
#include "support/simulated_drives.h"
#include "support/tab_sheets.h"
#include "support/temp_dir.h"

namespace dozered {
namespace {

using testing::ControllerDrive;
using testing::RecordedMessageBox;

// Passes every request on and calls `onRequest` before each, so that a test
// can act while a run is inside its sector accesses.
class HookedDrive : public VirtualDrive {
 public:
  explicit HookedDrive(std::shared_ptr<VirtualDrive> inner) : inner_(std::move(inner)) {}
  std::function<void()> onRequest;
  bool ExecuteScsi(ScsiCommand& command, ScsiOutcome& outcome) override {
    Hook();
    return inner_->ExecuteScsi(command, outcome);
  }
  bool ExecuteAta(AtaCommand& command) override {
    Hook();
    return inner_->ExecuteAta(command);
  }
  bool ExecuteNvmeAdmin(NvmeAdminCommand& command) override {
    Hook();
    return inner_->ExecuteNvmeAdmin(command);
  }

 private:
  void Hook() {
    if (onRequest) std::exchange(onRequest, nullptr)();
  }
  std::shared_ptr<VirtualDrive> inner_;
};

// A click as the window system delivers it: queued, not sent at once.
void QueueClick(QWidget* widget, QPoint at) {
  for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
    QCoreApplication::postEvent(widget, new QMouseEvent(type, at, widget->mapToGlobal(at), Qt::LeftButton,
                                                        type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                                        Qt::NoModifier));
  }
}

class RunScopeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // MPISP code mode: the mark-bad read needs no diagnostic program and turns
    // the event loop once in its middle.
    drive_ = std::make_shared<HookedDrive>(std::make_shared<sim::SimulatedDrive>(ControllerDrive(1)));
    testing::InstallDisks(*state_, {drive_});
    StartupFiles files;
    files.StringIni = dir_.Write("String.ini", "[VE4810VO]\r\n");
    files.TabSheetIni = dir_.Write("TabSheet.ini", testing::kAllPagesTabSheet);
    form_ = std::make_unique<TMainForm>(*state_, files);
    form_->SetMessageBoxHandler([this](const std::string& text, const std::string& caption, MessageIcon icon) {
      boxes_.push_back({text, caption, icon});
    });
    form_->FormCreate();
    form_->show();
    QApplication::processEvents();
    connect_ = QObject::connect(form_->BTN_ScanDevice, &QPushButton::clicked, [this] { ++scan_clicks_; });
  }
  void TearDown() override { QObject::disconnect(connect_); }

  testing::TempDir dir_;
  std::unique_ptr<AppState> state_ = std::make_unique<AppState>();
  std::shared_ptr<HookedDrive> drive_;
  std::unique_ptr<TMainForm> form_;
  std::vector<RecordedMessageBox> boxes_;
  QMetaObject::Connection connect_;
  int scan_clicks_ = 0;
};

TEST_F(RunScopeTest, AClickQueuedDuringAPageReadDoesNotRunInsideIt) {
  ASSERT_EQ(form_->ActivePage(), kPageReadFlashId);
  QTabBar* tabs = form_->PC_Main->tabBar();
  bool reading = false;
  int clicks_inside = -1;
  drive_->onRequest = [&] {
    reading = true;
    QueueClick(form_->BTN_ScanDevice, form_->BTN_ScanDevice->rect().center());
    QueueClick(tabs, tabs->tabRect(kPageCardInfo).center());
  };
  QObject::connect(form_->BTN_ScanDevice, &QPushButton::clicked, [&] {
    if (reading) clicks_inside = scan_clicks_;
  });

  form_->PC_Main->setCurrentIndex(kPageMarkBadInfo);  // the page change reads the page
  reading = false;
  EXPECT_EQ(form_->LB_StatusBar->text().toStdString(), kParsingMarkBadSuccessText);
  EXPECT_EQ(clicks_inside, -1) << "\"Rescan Device\" ran inside the read";
  EXPECT_EQ(form_->ActivePage(), kPageMarkBadInfo);
  // Refused, not put off: nothing runs once the read is over either.
  QApplication::processEvents();
  EXPECT_EQ(scan_clicks_, 0);
  EXPECT_EQ(form_->ActivePage(), kPageMarkBadInfo);

  // With the run over, the same click works.
  QueueClick(tabs, tabs->tabRect(kPageCardInfo).center());
  QApplication::processEvents();
  EXPECT_EQ(form_->ActivePage(), kPageCardInfo);
}

TEST_F(RunScopeTest, AllowedControlStaysUsableDuringARun) {
  QPushButton cancel(QStringLiteral("Cancel"), form_.get());
  cancel.show();
  form_->AllowDuringRun(&cancel);
  int cancels = 0;
  QObject::connect(&cancel, &QPushButton::clicked, [&] { ++cancels; });
  drive_->onRequest = [&] { QueueClick(&cancel, cancel.rect().center()); };
  form_->PC_Main->setCurrentIndex(kPageMarkBadInfo);
  EXPECT_EQ(cancels, 1);
}

TEST_F(RunScopeTest, ClosingDuringARunCancelsItAndClosesAfterIt) {
  bool visible_after_close = false;
  bool cancel_seen = false;
  drive_->onRequest = [&] {
    form_->close();
    visible_after_close = form_->isVisible();
    cancel_seen = form_->CancelRequested();
  };
  form_->PC_Main->setCurrentIndex(kPageMarkBadInfo);
  EXPECT_TRUE(visible_after_close) << "the window closed in the middle of the read";
  EXPECT_TRUE(cancel_seen);
  EXPECT_EQ(form_->LB_StatusBar->text().toStdString(), kParsingMarkBadSuccessText) << "the read ran to its end";
  QApplication::processEvents();
  EXPECT_FALSE(form_->isVisible());
}

TEST_F(RunScopeTest, ExitClosesTheWindowAndAboutShowsTheCaption) {
  form_->MI_About->trigger();
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0], (RecordedMessageBox{"Dozered V1.3.14 VE4810VO", "About", MessageIcon::Information}));
  EXPECT_TRUE(form_->isVisible());
  form_->MI_Exit->trigger();
  EXPECT_FALSE(form_->isVisible());
}

// A run that ends on an early return still ends: the window takes input again.
TEST(FeedbackRunTest, RunsNestAndEndWithTheOutermostScope) {
  testing::RecordingFeedback feedback;
  EXPECT_FALSE(feedback.RunOpen());
  auto early = [&](bool leave) {
    RunScope outer(feedback);
    {
      RunScope inner(feedback);
      if (leave) return;
    }
    EXPECT_TRUE(feedback.RunOpen());
  };
  early(true);
  EXPECT_FALSE(feedback.RunOpen());
  early(false);
  EXPECT_FALSE(feedback.RunOpen());
}

}  // namespace
}  // namespace dozered
