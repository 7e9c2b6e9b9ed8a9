// The distribution window: its frame and charts, the points of a measurement,
// and the modal showing centred on the main window.
#include "flash/gui/distribution_form.h"

#include <QApplication>
#include <QAreaSeries>
#include <QChart>
#include <QLabel>
#include <QLegend>
#include <QLineEdit>
#include <QLineSeries>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QValueAxis>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "app/app_state.h"
#include "app/code_loading.h"
#include "app/gui/main_form.h"
#include "app/page_table.h"
#include "chart/chart.h"
#include "flash/gui/flash_rw_page.h"
#include "sim/code_images.h"
#include "sim/simulated_drive.h"
#include "support/simulated_drives.h"
#include "support/tab_sheets.h"
#include "support/temp_dir.h"

namespace dozered {
namespace {

TEST(DistributionFormTest, ThreeStackedChartsInAFixedWindow) {
  AppState state;
  TM_Distribution form(state);
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Distribution_Result"));
  EXPECT_EQ(form.size(), QSize(984, 782));
  EXPECT_EQ(form.minimumSize(), form.maximumSize()) << "fixed frame";
  const struct {
    TChart* chart;
    TBarSeries* series;
    const char* title;
  } charts[] = {{form.Chart1, form.Series1, "P0/P1"}, {form.Chart2, form.Series2, "P2"}, {form.Chart3, form.Series3, "P3"}};
  int bottomOfLast = 0;
  for (const auto& c : charts) {
    SCOPED_TRACE(c.title);
    EXPECT_EQ(c.chart->Title(), QString::fromLatin1(c.title));
    EXPECT_EQ(c.chart->size(), QSize(969, 250));
    EXPECT_GE(c.chart->y(), bottomOfLast) << "stacked, top to bottom";
    EXPECT_TRUE(form.rect().contains(c.chart->geometry()));
    bottomOfLast = c.chart->geometry().bottom();
    EXPECT_EQ(c.chart->BottomAxis()->titleText(), QStringLiteral("Offset"));
    EXPECT_EQ(c.chart->LeftAxis()->titleText(), QStringLiteral("Count"));
    EXPECT_EQ(c.chart->BottomAxis()->min(), 0);
    EXPECT_EQ(c.chart->BottomAxis()->max(), 127);
    EXPECT_FALSE(c.chart->chart()->legend()->isVisible());
    EXPECT_EQ(c.series->Series()->pen().color(), QColor(Qt::red));
    EXPECT_FALSE(c.series->Series()->pointLabelsVisible());
  }
}

TEST(DistributionFormTest, PointsOfAMeasurementReplaceThoseOfTheLastOne) {
  AppState state;
  TM_Distribution form(state);
  DistributionSeries first;
  first[0] = {{64, 0, "00"}, {67, 40, "03"}, {61, 90, "7D"}};
  first[2] = {{10, 5, "4A"}};
  form.ShowPoints(first);
  ASSERT_EQ(form.Series1->Points().size(), 3u);
  EXPECT_EQ(form.Series1->Points()[0].X, 61) << "shown sorted by x";
  EXPECT_EQ(form.Series1->Points()[0].Label, QStringLiteral("7D"));
  EXPECT_EQ(form.Series1->Points()[2].Y, 40);
  EXPECT_TRUE(form.Series2->Points().empty());
  EXPECT_FALSE(form.Series1->Series()->upperSeries()->points().isEmpty()) << "drawn at once";
  EXPECT_GE(form.Chart1->LeftAxis()->max(), 90);

  DistributionSeries second;
  second[1] = {{64, 0, "00"}};
  form.ShowPoints(second);
  EXPECT_TRUE(form.Series1->Points().empty());
  EXPECT_EQ(form.Series2->Points().size(), 1u);
  EXPECT_TRUE(form.Series3->Points().empty());
  EXPECT_TRUE(form.Series3->Series()->upperSeries()->points().isEmpty());
}

TEST(DistributionFormTest, ShownModallyCentredOnTheMainWindow) {
  AppState state;
  QMainWindow main;
  main.setGeometry(100, 80, 1200, 900);
  main.show();
  TM_Distribution form(state);
  bool wasModal = false;
  QRect shownAt;
  QTimer::singleShot(0, &form, [&] {
    wasModal = form.isVisible() && form.isModal();
    shownAt = form.geometry();
    form.reject();
  });
  form.ShowModal(&main);
  EXPECT_TRUE(wasModal);
  EXPECT_LE((shownAt.center() - main.geometry().center()).manhattanLength(), 4);
  EXPECT_FALSE(form.isVisible());
}

// Closes `window` as soon as it is shown, noting what it showed then.
class CloseWhenShown {
 public:
  explicit CloseWhenShown(TM_Distribution& window) : window_(window) {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      if (!window_.isVisible()) return;
      ++shown;
      modal = window_.isModal() && QApplication::activeModalWidget() == &window_;
      window_.reject();
    });
    timer_.start();
  }
  int shown = 0;
  bool modal = false;

 private:
  TM_Distribution& window_;
  QTimer timer_;
};

// "Read Distribution" on the Flash RW page of the main window, against a
// simulated drive running its normal firmware.
class DistributionButtonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::InstallDisks(*state_, {std::make_shared<sim::SimulatedDrive>(testing::ControllerDrive(2))});
    StartupFiles files;
    files.StringIni = dir_.Write("String.ini", "[VE4810VO]\r\n");
    files.TabSheetIni = dir_.Write("TabSheet.ini", testing::kAllPagesTabSheet);
    form_ = std::make_unique<TMainForm>(*state_, files);
    form_->SetMessageBoxHandler([](const std::string&, const std::string&, MessageIcon) {});
    form_->FormCreate();
    form_->show();
    ASSERT_EQ(state_->SelectedDevice, 0);
    state_->ExecutableDir = dir_.Path("exe");
    std::array<uint8_t, 16> isp{};
    std::copy_n(state_->IspInfoTable[0].begin() + 404, 16, isp.begin());
    const std::vector<uint8_t> file = sim::BuildDiagnosticFile(sim::DiagnosticKind::kReadDistribution, isp, true);
    const std::filesystem::path program = DiagnosticCodePathFor(*state_, 0, kDgIspReadDistribution);
    std::filesystem::create_directories(program.parent_path());
    std::ofstream(program, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    window_ = std::make_unique<TM_Distribution>(*state_);
    window_->BindButton(*form_->FlashRwPage, *form_, form_.get());
    page_ = form_->FlashRwPage;
    form_->PC_Main->setCurrentIndex(kPageFlashRw);
    QApplication::processEvents();
  }

  testing::TempDir dir_;
  std::unique_ptr<AppState> state_ = std::make_unique<AppState>();
  std::unique_ptr<TMainForm> form_;
  std::unique_ptr<TM_Distribution> window_;
  TFlashRwPage* page_ = nullptr;
};

TEST_F(DistributionButtonTest, MeasuresThePageAndShowsTheChartsModally) {
  ASSERT_TRUE(page_->BTN_Distribution->isEnabled()) << "normal firmware";
  page_->EDT_FlashRWBlock->setText(QStringLiteral("0040"));
  page_->EDT_FlashRWPage->setText(QStringLiteral("0068"));
  page_->EDT_Offset->setText(QStringLiteral("31"));
  CloseWhenShown closer(*window_);
  page_->BTN_Distribution->click();
  EXPECT_EQ(closer.shown, 1);
  EXPECT_TRUE(closer.modal);
  // Step 31: levels 0, 31, 62 up and 97, 66 down, for each of R1, R3 and R2.
  for (TBarSeries* series : {window_->Series1, window_->Series2, window_->Series3}) {
    ASSERT_EQ(series->Points().size(), 5u);
    EXPECT_EQ(series->Points().front().X, 2) << "level 0x42, sorted by x";
    EXPECT_EQ(series->Points().back().Label, QStringLiteral("3E"));
  }
  EXPECT_EQ(form_->ProcessBar->maximum(), 12);
  EXPECT_EQ(form_->ProcessBar->value(), 12);
  EXPECT_EQ(form_->LB_StatusBar->text(), QStringLiteral("Read flash successful"));
  EXPECT_EQ(page_->MM_FlashRW->document()->blockCount(), 1024) << "the last level read";
  EXPECT_EQ(page_->EDT_Offset->text(), QStringLiteral("31"));
}

TEST_F(DistributionButtonTest, RefusedStepShowsNoChart) {
  page_->EDT_Offset->setText(QStringLiteral("0"));
  CloseWhenShown closer(*window_);
  page_->BTN_Distribution->click();
  QApplication::processEvents();
  EXPECT_EQ(closer.shown, 0);
}

}  // namespace
}  // namespace dozered
