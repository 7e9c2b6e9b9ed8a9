// The "Flash Diagnosis" page in the main window against a simulated drive:
// entering the page reads, the grids and lists show the read, populated
// cells are tinted; and the DumpISP / DumpInfo buttons of the Flash RW page.
#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "app/gui/main_form.h"
#include "app/page_table.h"
#include "flash/code_dump.h"
#include "flash/gui/flash_diagnosis_page.h"
#include "flash/gui/flash_rw_page.h"
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

class FlashDiagnosisPageTest : public ::testing::Test {
 protected:
  // A drive in MPISP code mode (no diagnostic programs needed) with chips
  // on CEs 0 and 1 of all four channels.
  void Start() {
    sim::DriveConfig config = ControllerDrive(1);
    config.geometry.ces = 2;
    wire_ = std::make_shared<WireRecorder>(std::make_shared<sim::SimulatedDrive>(config));
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
    page_ = form_->FlashDiagnosisPage;
    wire_->ClearLog();
  }

  void Enter(int page) {
    form_->PC_Main->setCurrentIndex(page);
    QApplication::processEvents();
  }

  std::string Status() const { return form_->LB_StatusBar->text().toStdString(); }

  std::vector<uint8_t> Opcodes() const {
    std::vector<uint8_t> ops;
    for (const testing::VendorCommand& c : wire_->Commands()) ops.push_back(c.opcode());
    return ops;
  }

  // The colour inside cell (column, row) of a grid, away from its text.
  static QColor CellColour(QTableWidget* grid, int column, int row) {
    const QImage image = grid->viewport()->grab().toImage();
    const QRect cell = grid->visualRect(grid->model()->index(row, column));
    return image.pixelColor(cell.right() - 4, cell.bottom() - 3);
  }

  testing::TempDir dir_;
  std::unique_ptr<AppState> state_ = std::make_unique<AppState>();
  std::shared_ptr<WireRecorder> wire_;
  std::unique_ptr<TMainForm> form_;
  TFlashDiagnosisPage* page_ = nullptr;
  std::vector<RecordedMessageBox> boxes_;
};

TEST_F(FlashDiagnosisPageTest, EnteringThePageReadsIntoTheGridsAndLists) {
  Start();
  form_->CHKB_RawData->setEnabled(true);
  Enter(kPageFlashDiagnosis);
  EXPECT_EQ(Opcodes(), (std::vector<uint8_t>{0x44, 0x43}));
  EXPECT_EQ(Status(), "Access device success");
  EXPECT_FALSE(form_->TM_StatusBarClear->isActive()) << "the text stays";
  EXPECT_FALSE(form_->CHKB_RawData->isChecked());
  EXPECT_FALSE(form_->CHKB_RawData->isEnabled());
  EXPECT_TRUE(boxes_.empty());

  const BadBlockViews& views = page_->Views();
  for (QTableWidget* grid : {page_->SG_OrgBadBlock, page_->SG_RuntimeBadBlock, page_->SG_TotalBadBlock}) {
    EXPECT_EQ(grid->rowCount(), 9);
    EXPECT_EQ(grid->columnCount(), 9);
    EXPECT_EQ(grid->columnWidth(3), 37);
    EXPECT_FALSE(grid->horizontalHeader()->isVisible());
    EXPECT_EQ(grid->item(0, 1)->text(), "CH0");
    EXPECT_EQ(grid->item(0, 8)->text(), "CH7");
    EXPECT_EQ(grid->item(1, 0)->text(), "CE0");
    EXPECT_EQ(grid->item(8, 0)->text(), "CE7");
    EXPECT_EQ(grid->item(0, 0)->text(), "");
    EXPECT_EQ(grid->item(4, 6)->text(), "0") << "channels 4-7";
  }
  for (int r = 0; r < 9; ++r) {
    for (int c = 0; c < 9; ++c) {
      EXPECT_EQ(page_->SG_OrgBadBlock->item(r, c)->text().toStdString(), views.Original.Cell(c, r));
      EXPECT_EQ(page_->SG_TotalBadBlock->item(r, c)->text().toStdString(), views.Total.Cell(c, r));
    }
  }
  ASSERT_FALSE(views.OriginalList.empty());
  QAbstractItemModel* original = page_->LV_OriginalBadBlock->model();
  QAbstractItemModel* total = page_->LV_TotalBadBlock->model();
  EXPECT_EQ(original->rowCount(), static_cast<int>(views.OriginalList.size()));
  EXPECT_EQ(total->rowCount(), static_cast<int>(views.TotalList.size()));
  EXPECT_GT(total->rowCount(), original->rowCount());
  EXPECT_TRUE(total->index(total->rowCount() - 1, 1).data().toString().startsWith("*0x"));
  QStringList headers;
  for (int c = 0; c < original->columnCount(); ++c) headers << original->headerData(c, Qt::Horizontal).toString();
  EXPECT_EQ(headers, (QStringList{"No", "FBlock", "CH", "CE", "Plane"}));
  EXPECT_EQ(page_->LV_TotalBadBlock->columnWidth(1), 80);
  EXPECT_TRUE(page_->LV_OriginalBadBlock->showGrid());

  EXPECT_EQ(page_->PC_Diagnosis->tabPosition(), QTabWidget::South);
  QStringList tabs;
  for (int i = 0; i < page_->PC_Diagnosis->count(); ++i) tabs << page_->PC_Diagnosis->tabText(i);
  EXPECT_EQ(tabs, (QStringList{"Original/Run Time Bad Block", "Total Bad Block", "Bad Block Parsing"}));
  EXPECT_FALSE(page_->BTN_BadBlockRead->isVisible());

  // Every visit reads again; the hidden button carries the same read.
  Enter(kPageCardInfo);
  wire_->ClearLog();
  Enter(kPageFlashDiagnosis);
  EXPECT_EQ(Opcodes(), (std::vector<uint8_t>{0x44, 0x43}));
  wire_->ClearLog();
  page_->BTN_BadBlockRead->click();
  EXPECT_EQ(Opcodes(), (std::vector<uint8_t>{0x44, 0x43}));
  EXPECT_EQ(total->rowCount(), static_cast<int>(page_->Views().TotalList.size()));
}

// Cells of populated channels and CEs are light orange while a drive is
// selected; everything else, headers included, has the window colour.
TEST_F(FlashDiagnosisPageTest, PopulatedCellsAreTinted) {
  Start();
  Enter(kPageFlashDiagnosis);
  const QColor tint(0xFF, 0xCD, 0x9B);
  const QColor window = page_->palette().color(QPalette::Window);
  struct Case {
    int column;
    int row;
    bool tinted;
  } cases[] = {{1, 1, true}, {4, 2, true}, {1, 3, false}, {5, 1, false}, {0, 1, false}, {1, 0, false}};
  QTableWidget* grid = page_->SG_OrgBadBlock;
  for (const Case& c : cases) {
    EXPECT_EQ(CellColour(grid, c.column, c.row), c.tinted ? tint : window) << c.column << "," << c.row;
  }
  page_->PC_Diagnosis->setCurrentWidget(page_->TS_TotalBadBlock);
  QApplication::processEvents();
  EXPECT_EQ(CellColour(page_->SG_TotalBadBlock, 2, 2), tint);

  state_->SelectedDevice = -1;
  page_->PC_Diagnosis->setCurrentWidget(page_->TS_OrgRuntimeBadBlock);
  QApplication::processEvents();
  EXPECT_EQ(CellColour(grid, 1, 1), window) << "no drive selected";
}

// The two dump buttons of the Flash RW page write their folders into the
// working directory.
TEST_F(FlashDiagnosisPageTest, DumpButtonsOfTheFlashRwPageWriteIntoTheWorkingDirectory) {
  Start();
  Enter(kPageFlashRw);
  TFlashRwPage* rw = form_->FlashRwPage;
  ASSERT_TRUE(rw->BTN_Dump_ISP->isEnabled());
  ASSERT_TRUE(rw->BTN_Dump_Info->isEnabled());
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(dir_.Dir());
  const LocalDate dayBefore = LocalToday();
  wire_->ClearLog();
  QTest::mouseClick(rw->BTN_Dump_Info, Qt::LeftButton);
  std::filesystem::current_path(before);
  // The day's first folder (of the day the click began or ended in).
  std::string folder = DumpFolderName(DumpKind::kInfo, dayBefore, 0);
  if (!std::filesystem::exists(dir_.Dir() / folder)) folder = DumpFolderName(DumpKind::kInfo, LocalToday(), 0);

  EXPECT_EQ(boxes_, (std::vector<RecordedMessageBox>{{"Dump Info finish!", "Message", MessageIcon::Information}}));
  EXPECT_EQ(Status(), "Dump Info successful");
  EXPECT_FALSE(form_->TM_StatusBarClear->isActive()) << "the text stays";
  EXPECT_EQ(form_->ProcessBar->maximum(), 64);
  EXPECT_EQ(form_->ProcessBar->value(), 64);
  ASSERT_TRUE(std::filesystem::is_directory(dir_.Dir() / folder)) << folder;
  size_t files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir_.Dir() / folder)) ++files;
  EXPECT_EQ(files, 16u);
  EXPECT_FALSE(Opcodes().empty());
  EXPECT_TRUE(form_->PC_Main->isEnabled());
}

}  // namespace
}  // namespace dozered
