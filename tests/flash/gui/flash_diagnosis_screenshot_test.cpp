// Pictures of the "Flash Diagnosis" page for the documentation: the three
// grids and the two lists of the demo's worn and aged drive. Runs only when
// DOZERED_SCREENSHOT_DIR names the folder to write them to.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPixmap>
#include <QTabWidget>
#include <QTableView>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "app/gui/main_form.h"
#include "app/page_table.h"
#include "app/startup/platform_setup.h"
#include "flash/gui/flash_diagnosis_page.h"
#include "support/temp_dir.h"

namespace dozered {
namespace {

TEST(FlashDiagnosisScreenshotTest, WornDriveGridsAndLists) {
  const char* out = std::getenv("DOZERED_SCREENSHOT_DIR");
  if (out == nullptr) GTEST_SKIP() << "DOZERED_SCREENSHOT_DIR not set";
  const std::filesystem::path demo = DOZERED_DEMO_DIR;

  // The demo drives keep their state beside their list: work on a copy.
  testing::TempDir dir;
  std::filesystem::copy_file(demo / "VirtualDrives.ini", dir.Path("VirtualDrives.ini"));
  auto state = std::make_unique<AppState>();
  state->ExecutableDir = DOZERED_BESIDE_EXE_DIR;
  SetUpStoragePlatform(*state, dir.Path("VirtualDrives.ini"));
  StartupFiles files;
  files.StringIni = demo / "String.ini";
  files.TabSheetIni = demo / "TabSheet.ini";
  TMainForm form(*state, files);
  form.SetMessageBoxHandler([](const std::string&, const std::string&, MessageIcon) {});
  form.FormCreate();
  form.show();

  // The worn and aged drive (port 6, target 0): the most bad blocks of the demo.
  const int worn = form.CMBB_DeviceList->findText(QStringLiteral("(6, 0)"), Qt::MatchEndsWith);
  ASSERT_GE(worn, 0);
  form.CMBB_DeviceList->setCurrentIndex(worn);
  QApplication::processEvents();
  form.PC_Main->setCurrentIndex(kPageFlashDiagnosis);
  QApplication::processEvents();
  ASSERT_EQ(form.LB_StatusBar->text().toStdString(), "Access device success");

  TFlashDiagnosisPage* page = form.FlashDiagnosisPage;
  const struct {
    QWidget* tab;
    const char* file;
  } shots[] = {{page->TS_OrgRuntimeBadBlock, "page-flash-diagnosis.png"},
               {page->TS_TotalBadBlock, "page-flash-diagnosis-total.png"},
               {page->TS_BadBlockParsing, "page-flash-diagnosis-lists.png"}};
  for (const auto& shot : shots) {
    page->PC_Diagnosis->setCurrentWidget(shot.tab);
    QApplication::processEvents();
    // The run-time rows ("*") follow the original ones at the end.
    page->LV_TotalBadBlock->scrollToBottom();
    QApplication::processEvents();
    EXPECT_TRUE(form.grab().save(QDir(out).filePath(QString::fromLatin1(shot.file))));
  }
}

}  // namespace
}  // namespace dozered
