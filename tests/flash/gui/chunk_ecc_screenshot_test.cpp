// Pictures of the "Chunk ECC" and "L2P mapping" pages for the documentation:
// a chunk-ECC range run over pages of the worn, aged demo drive, and the
// translation of an LBA the host has just written. Runs only when
// DOZERED_SCREENSHOT_DIR names the folder to write them to.
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
#include <memory>

#include "app/gui/main_form.h"
#include "app/page_table.h"
#include "app/startup/platform_setup.h"
#include "flash/gui/chunk_ecc_page.h"
#include "flash/gui/l2p_page.h"
#include "support/temp_dir.h"

namespace dozered {
namespace {

TEST(ChunkEccScreenshotTest, RangeRunOverTheWornDriveAndATranslation) {
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
  form.resize(1260, 820);
  form.show();
  const int worn = form.CMBB_DeviceList->findText(QStringLiteral("PHYSICALDRIVE5 (6, 0)"));
  ASSERT_GE(worn, 0);
  form.CMBB_DeviceList->setCurrentIndex(worn);
  form.CMBB_DeviceListChange();
  QApplication::processEvents();
  EXPECT_TRUE(form.MM_DeviceInfo->toPlainText().contains(QStringLiteral("PHYSICALDRIVE5")))
      << form.MM_DeviceInfo->toPlainText().toStdString();

  form.SetActivePage(kPageChunkEcc);
  TChunkEccPage* page = form.ChunkEccPage;
  page->EDT_ChunkECC_StartBlock->setText("0100");
  page->EDT_ChunkECC_EndBlock->setText("0100");
  page->EDT_ChunkECC_StartPage->setText("065");
  page->EDT_ChunkECC_EndPage->setText("066");
  page->CMBB_ChunkECC_CE->setCurrentIndex(0);
  page->CMBB_ChunkECC_CH->setCurrentIndex(0);
  page->BTN_ChunkECC->click();
  ASSERT_EQ(form.LB_StatusBar->text().toStdString(), "Read chunk successful");
  QApplication::processEvents();
  EXPECT_TRUE(form.grab().save(QDir(out).filePath("page-chunk-ecc.png")));

  // A host write, then its translation.
  std::vector<uint8_t> data(8 * 512, 0x5A);
  VE4810VO& controller = state->Controllers[static_cast<size_t>(state->SelectedDevice)];
  ASSERT_TRUE(controller.Open(true));
  ASSERT_EQ(controller.WriteSectors(2048, 8, data.data()), 0);
  controller.Close();
  form.PC_Main->setCurrentIndex(kPageL2P);
  form.L2pPage->EDT_L2P_LBA->setText("2051");
  form.L2pPage->BTN_L2P->click();
  ASSERT_EQ(form.LB_StatusBar->text().toStdString(), "Complete");
  QApplication::processEvents();
  EXPECT_TRUE(form.grab().save(QDir(out).filePath("page-l2p.png")));
}

}  // namespace
}  // namespace dozered
