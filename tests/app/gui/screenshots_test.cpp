// Pictures of the information pages and the settings dialog on the demo
// drives, for the documentation. Runs only when DOZERED_SCREENSHOT_DIR names
// the folder to write them to (normally under a virtual X server, so that the
// pictures show the real window style and fonts).
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QPixmap>
#include <QTabWidget>
#include <QTreeView>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "app/gui/main_form.h"
#include "app/gui/pages/identify_table_page.h"
#include "app/gui/setup_form.h"
#include "app/page_table.h"
#include "app/startup/platform_setup.h"
#include "device/virtual_platform.h"
#include "sim/simulated_drive.h"
#include "support/simulated_drives.h"
#include "support/temp_dir.h"

namespace dozered {
namespace {

TEST(ScreenshotTest, InformationPagesAndSettingsOfTheDemoDrive) {
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

  const struct {
    int page;
    const char* file;
  } shots[] = {{kPageIdentifyTable, "page-identify-table.png"},
               {kPageSmartInfo, "page-smart-info.png"},
               {kPageCardInfo, "page-card-info.png"},
               {kPageEraseCount, "page-erase-count.png"},
               {kPageCidOption, "page-cid-option.png"}};
  for (const auto& shot : shots) {
    form.PC_Main->setCurrentIndex(shot.page);
    if (shot.page == kPageIdentifyTable) {
      // A clicked row shows its description in the status bar.
      QTreeView* list = form.IdentifyTablePage->LV_IdentifyTable;
      const QModelIndex row = list->model()->index(9, 0);
      list->setCurrentIndex(row);
      emit list->clicked(row);
    }
    QApplication::processEvents();
    EXPECT_TRUE(form.grab().save(QDir(out).filePath(shot.file))) << shot.file;
  }
  // One raw view: the card information record as a dump.
  form.PC_Main->setCurrentIndex(kPageCardInfo);
  form.CHKB_RawData->setChecked(true);
  QApplication::processEvents();
  EXPECT_TRUE(form.grab().save(QDir(out).filePath("page-card-info-raw.png")));

  TSetupForm setup(*state, &form);
  setup.open();
  QApplication::processEvents();
  EXPECT_TRUE(setup.grab().save(QDir(out).filePath("settings-dialog.png")));
  setup.reject();
}

// Started where no drive carries the controller: two ordinary disks, one of
// which the user may not open.
TEST(ScreenshotTest, StartUpWithoutDrives) {
  const char* out = std::getenv("DOZERED_SCREENSHOT_DIR");
  if (out == nullptr) GTEST_SKIP() << "DOZERED_SCREENSHOT_DIR not set";
  const std::filesystem::path demo = DOZERED_DEMO_DIR;
  std::vector<VirtualDisk> disks(2);
  for (VirtualDisk& disk : disks) disk.drive = std::make_shared<sim::SimulatedDrive>(testing::PlainDisk());
  disks[1].options.openDenied = true;
  auto state = std::make_unique<AppState>();
  state->ExecutableDir = DOZERED_BESIDE_EXE_DIR;
  state->Platform = std::make_unique<VirtualPlatform>(std::move(disks));
  state->Enumerator = std::make_unique<AspiLib>(*state->Platform);
  StartupFiles files;
  files.StringIni = demo / "String.ini";
  files.TabSheetIni = demo / "TabSheet.ini";
  TMainForm form(*state, files);
  form.SetMessageBoxHandler([](const std::string&, const std::string&, MessageIcon) {});
  form.FormCreate();
  form.show();
  QApplication::processEvents();
  EXPECT_TRUE(form.grab().save(QDir(out).filePath("start-up-without-drives.png")));
}

}  // namespace
}  // namespace dozered
