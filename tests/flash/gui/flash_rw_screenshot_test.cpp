// A picture of the Flash RW page for the documentation: a test pattern
// written scrambled to an erased page of the demo drive and read back. Runs
// only when DOZERED_SCREENSHOT_DIR names the folder to write it to.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app/gui/main_form.h"
#include "app/page_table.h"
#include "app/startup/platform_setup.h"
#include "flash/gui/flash_rw_page.h"
#include "support/temp_dir.h"

namespace dozered {
namespace {

TEST(FlashRwScreenshotTest, WrittenScrambledPageReadBack) {
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
  form.PC_Main->setCurrentIndex(kPageFlashRw);
  TFlashRwPage* page = form.FlashRwPage;

  // A test pattern image: a line of text, then counting bytes.
  std::string image = "Dozered test pattern, block 0006 page 0010, written scrambled. ";
  while (image.size() < 16384) image.push_back(static_cast<char>(image.size() & 0xFF));
  // In the temporary folder itself, so that the picture shows a short name.
  const std::filesystem::path file = std::filesystem::temp_directory_path() / "flash-pattern.bin";
  std::ofstream(file, std::ios::binary) << image;
  page->SetOpenFileHandler([&file] { return file; });

  page->CMBB_FlashRW_Sector->setCurrentIndex(4);  // "16 K": one page
  page->EDT_FlashRWBlock->setText("0006");
  page->EDT_FlashRWPage->setText("0010");
  page->BTN_FlashRW_OpenFile->click();
  page->BTN_FlashRW_Erase->click();
  page->BTN_FlashRW_Write->click();
  ASSERT_EQ(form.LB_StatusBar->text().toStdString(), "Write flash successful");
  page->BTN_FlashRW_Read->click();
  ASSERT_EQ(form.LB_StatusBar->text().toStdString(), "Read flash successful");
  // Mark the first bytes, as an engineer does before stepping pages.
  QTextCursor mark(page->MM_FlashRW->document());
  mark.setPosition(9);
  mark.setPosition(20, QTextCursor::KeepAnchor);
  page->MM_FlashRW->setTextCursor(mark);
  QApplication::processEvents();
  EXPECT_TRUE(form.grab().save(QDir(out).filePath("page-flash-rw.png")));
  std::filesystem::remove(file);
}

}  // namespace
}  // namespace dozered
