#include "app/gui/main_form.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>

#include <memory>
#include <vector>

#include "app/page_table.h"
#include "support/temp_dir.h"

namespace dozered {
namespace {

class MainFormTest : public ::testing::Test {
 protected:
  // Creates the window as start-up does, with `tabsheet` as TabSheet.ini.
  void Create(const std::string& tabsheet) {
    StartupFiles files;
    files.StringIni =
        dir_.Write("String.ini", "[VE4810VO]\r\nID1=Raw Read Error Rate\r\nID2=Throughput\r\n");
    files.TabSheetIni = dir_.Write("TabSheet.ini", tabsheet);
    form_ = std::make_unique<TMainForm>(state_, files);
    form_->FormCreate();
  }

  QTabWidget* Tabs() { return form_->findChild<QTabWidget*>("PC_Main"); }

  std::vector<int> VisibleTabs() {
    std::vector<int> out;
    for (int i = 0; i < Tabs()->count(); ++i) {
      if (Tabs()->isTabVisible(i)) out.push_back(i);
    }
    return out;
  }

  bool ChunkEccButtonShown() {
    return !form_->findChild<QPushButton*>("BTN_Chunk_ECC")->isHidden();
  }

  testing::TempDir dir_;
  AppState state_;
  std::unique_ptr<TMainForm> form_;
};

TEST_F(MainFormTest, CreationLoadsConfigurationAndSetsCaption) {
  state_.FlashOption = 0x55;
  state_.FlashChCe = 0x77;
  Create("\"Read Flash ID\"\r\n");
  EXPECT_EQ(form_->windowTitle(), QStringLiteral("Dozered V1.3.14 VE4810VO"));
  EXPECT_STREQ(state_.AttributeNames[1].data(), "Raw Read Error Rate");
  EXPECT_STREQ(state_.AttributeNames[2].data(), "Throughput");
  // Before the window is first shown, the raw-data box and the status panel
  // keep their first placement from the outer window size.
  const QRect outer = form_->frameGeometry();
  EXPECT_EQ(form_->findChild<QCheckBox*>("CHKB_RawData")->pos(),
            QPoint(outer.width() - 150, outer.height() - 75));
  EXPECT_EQ(form_->findChild<QWidget*>("PN_StatusBar")->pos(), QPoint(10, outer.height() - 75));
  EXPECT_EQ(state_.FlashOption, 0x21);
  EXPECT_EQ(state_.FlashChCe, 0x00);
  EXPECT_EQ(form_->findChild<QComboBox*>("CMBB_FlashRW_Sector")->currentIndex(), 0);
  EXPECT_EQ(form_->findChild<QComboBox*>("CMBB_DBS_Sector")->currentIndex(), 0);

  ASSERT_EQ(Tabs()->count(), kPageCount);
  for (int i = 0; i < kPageCount; ++i) {
    EXPECT_EQ(Tabs()->widget(i)->objectName(), QString::fromLatin1(kPages[i].ControlName));
    EXPECT_EQ(Tabs()->tabText(i), QString::fromLatin1(kPages[i].Caption));
    EXPECT_EQ(form_->Page(i), Tabs()->widget(i));
  }
  auto* mp_isp = form_->findChild<QPushButton*>("BTN_DLMPISP");
  EXPECT_TRUE(mp_isp->isHidden());
  EXPECT_FALSE(mp_isp->isEnabled());
  EXPECT_EQ(form_->findChild<QPushButton*>("BTN_ScanDevice")->text(),
            QStringLiteral("Rescan Device"));
}

struct TabsCase {
  const char* name;
  std::string tabsheet;
  std::vector<int> tabs;
  int active;
  bool chunk_ecc_button;
};

TEST_F(MainFormTest, ShowsTheTabsTabSheetIniLists) {
  const TabsCase cases[] = {
      // The start-up scan ends on page 0 whatever page the list made active.
      {"some pages",
       "\"Smart Data\"\r\n\"Flash RW\" ; raw pages\r\n\"Error Log\"\r\n",
       {2, 7, 13},
       0,
       false},
      {"caption instead of name", "\"Smart Info\"\r\n\"Card Info\"\r\n", {3}, 0, false},
      {"Chunk ECC with Flash RW", "\"Flash RW\"\r\n\"Chunk ECC\"\r\n", {7}, 0, true},
      {"only Chunk ECC", "\"Chunk ECC\"\r\n", {}, 0, true},
  };
  for (const TabsCase& c : cases) {
    Create(c.tabsheet);
    EXPECT_EQ(VisibleTabs(), c.tabs) << c.name;
    EXPECT_EQ(form_->ActivePage(), c.active) << c.name;
    EXPECT_EQ(ChunkEccButtonShown(), c.chunk_ecc_button) << c.name;
    EXPECT_EQ(state_.PageEnabled[kPageChunkEcc], 0) << c.name;
  }
}

TEST_F(MainFormTest, HiddenChunkEccPageCanBeTheShownPage) {
  Create("\"Chunk ECC\"\r\n");
  // The start-up scan ends on page 0; the list made page 6 active before it.
  EXPECT_EQ(form_->ActivePage(), kPageReadFlashId);
  form_->SetActivePage(kPageChunkEcc);
  form_->show();
  EXPECT_EQ(Tabs()->currentWidget(), form_->Page(kPageChunkEcc));
  EXPECT_TRUE(form_->Page(kPageChunkEcc)->isVisible());
  EXPECT_FALSE(Tabs()->isTabVisible(kPageChunkEcc));
}

TEST_F(MainFormTest, MissingTabSheetIniHidesEveryPage) {
  StartupFiles files;
  files.StringIni = dir_.Path("String.ini");
  files.TabSheetIni = dir_.Path("TabSheet.ini");
  form_ = std::make_unique<TMainForm>(state_, files);
  form_->FormCreate();
  EXPECT_TRUE(VisibleTabs().empty());
  EXPECT_FALSE(ChunkEccButtonShown());
  EXPECT_EQ(form_->windowTitle(), QStringLiteral("Dozered V1.3.14 VE4810VO"));
}

TEST_F(MainFormTest, StatusLineReportAndShow) {
  Create("\"Read Flash ID\"\r\n");
  auto* label = form_->findChild<QLabel*>("LB_StatusBar");
  auto* timer = form_->findChild<QTimer*>("TM_StatusBarClear");
  ASSERT_NE(timer, nullptr);
  EXPECT_TRUE(timer->isSingleShot());
  EXPECT_EQ(timer->interval(), 2000);
  form_->TM_StatusBarClearTimer();  // "Scan device complete" of the start-up scan

  form_->ShowStatus("Waitting......");
  EXPECT_EQ(label->text(), QStringLiteral("Waitting......"));
  EXPECT_FALSE(timer->isActive());

  form_->ReportStatus("Read SMART data successful");
  EXPECT_EQ(label->text(), QStringLiteral("Read SMART data successful"));
  EXPECT_TRUE(timer->isActive());
  form_->TM_StatusBarClearTimer();
  EXPECT_TRUE(label->text().isEmpty());
  EXPECT_FALSE(timer->isActive());
}

TEST_F(MainFormTest, MessageBoxesGoToTheHandler) {
  Create("\"Read Flash ID\"\r\n");
  std::string text, caption;
  MessageIcon icon = MessageIcon::Information;
  form_->SetMessageBoxHandler([&](const std::string& t, const std::string& c, MessageIcon i) {
    text = t;
    caption = c;
    icon = i;
  });
  form_->MessageBox("ROM Code Mode Device!", "Warning", MessageIcon::Warning);
  EXPECT_EQ(text, "ROM Code Mode Device!");
  EXPECT_EQ(caption, "Warning");
  EXPECT_EQ(icon, MessageIcon::Warning);
}

TEST_F(MainFormTest, ResizePlacesStatusControlsOnTheStatusBar) {
  Create("\"Read Flash ID\"\r\n");
  form_->show();
  for (QSize size : {QSize(1200, 800), QSize(1000, 700)}) {
    form_->resize(size);
    form_->FormResize();
    const QRect bar = form_->findChild<QStatusBar*>("StatusBar1")->geometry();
    EXPECT_EQ(form_->findChild<QWidget*>("PN_StatusBar")->pos(),
              QPoint(bar.left() + 8, bar.top() + 6));
    const QRect progress = form_->findChild<QProgressBar*>("ProcessBar")->geometry();
    EXPECT_EQ(progress.topLeft(), QPoint(303, bar.top() + 6));
    EXPECT_EQ(progress.width(), 412);
    EXPECT_EQ(form_->findChild<QCheckBox*>("CHKB_RawData")->pos(), QPoint(724, bar.top() + 5));
    EXPECT_EQ(form_->StatusBarPanel(1)->width(), 415);
  }
}

}  // namespace
}  // namespace dozered
