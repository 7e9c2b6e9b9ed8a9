// A picture of the "DBS / DPS" page for the documentation: a finished DBS of
// the demo drive, scrolled to where blocks holding data, erased blocks and a
// factory-bad block meet. Runs only when DOZERED_SCREENSHOT_DIR names the
// folder to write it to.
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTextBlock>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "app/gui/main_form.h"
#include "app/page_table.h"
#include "app/startup/platform_setup.h"
#include "flash/gui/dbs_dps_page.h"
#include "support/temp_dir.h"

namespace dozered {
namespace {

TEST(DbsDpsScreenshotTest, FinishedDbsOfTheDemoDrive) {
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
  ASSERT_GE(state->SelectedDevice, 0);
  form.PC_Main->setCurrentIndex(kPageDbsDps);
  QApplication::processEvents();
  TDbsDpsPage* page = form.DbsDpsPage;

  page->BTN_DBS->click();
  ASSERT_EQ(form.LB_StatusBar->text().toStdString(), "Complete");
  ASSERT_EQ(page->MM_DbsDps->document()->blockCount(), 2049);

  // Scroll to the first block the flash maker marked bad that has blocks
  // with data before it.
  const QString bad = QStringLiteral("00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00");
  int line = 1;
  for (; line < 2049; ++line) {
    if (line > 12 && page->MM_DbsDps->document()->findBlockByNumber(line).text().mid(9).startsWith(bad)) break;
  }
  ASSERT_LT(line, 2049);
  page->MM_DbsDps->verticalScrollBar()->setValue(line - 12);
  QApplication::processEvents();
  EXPECT_TRUE(form.grab().save(QDir(out).filePath("page-dbs-dps.png")));
}

}  // namespace
}  // namespace dozered
