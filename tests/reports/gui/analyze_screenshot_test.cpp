// A picture of the erase-count analysis window on the demo's worn drive, for
// the documentation. Runs only when DOZERED_SCREENSHOT_DIR names the folder to
// write it to.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "app/gui/main_form.h"
#include "app/gui/pages/erase_count_page.h"
#include "app/startup/platform_setup.h"
#include "chart/chart.h"
#include "reports/gui/erase_count_analyze_form.h"
#include "reports/gui/save_commands.h"
#include "support/temp_dir.h"

namespace dozered {
namespace {

TEST(EraseCountAnalyzeScreenshotTest, WornDemoDrive) {
  const char* out = std::getenv("DOZERED_SCREENSHOT_DIR");
  if (out == nullptr) GTEST_SKIP() << "DOZERED_SCREENSHOT_DIR not set";
  const std::filesystem::path demo = DOZERED_DEMO_DIR;
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
  // The worn and aged drive is the last one the demo lists.
  ASSERT_GE(state->DeviceCount, 1);
  form.CMBB_DeviceList->setCurrentIndex(state->DeviceCount - 1);
  form.CMBB_DeviceListChange();
  ASSERT_EQ(state->SelectedDevice, state->DeviceCount - 1);

  TMEraseCount_Analyze window(*state);
  form.SaveCommands->SetAnalyzeWindow(&window);
  bool saved = false;
  window.SetShowModalHandler([&](TMEraseCount_Analyze& shown) {
    shown.show();
    shown.Chart1->Flush();
    QApplication::processEvents();
    saved = shown.grab().save(QDir(out).filePath("erase-count-analyze.png"));
    shown.hide();
  });
  form.EraseCountPage->BTN_ShowAnalyze->click();
  EXPECT_TRUE(saved);
  EXPECT_GT(window.Series1->Points().size(), 100u);
}

}  // namespace
}  // namespace dozered
