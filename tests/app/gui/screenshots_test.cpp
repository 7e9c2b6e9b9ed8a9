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
#include "support/temp_dir.h"

namespace dozered {
namespace {

TEST(ScreenshotTest, InformationPagesAndSettingsOfTheDemoDrive) {
  const char* out = std::getenv("DOZERED_SCREENSHOT_DIR");
  if (out == nullptr) GTEST_SKIP() << "DOZERED_SCREENSHOT_DIR not set";
  const std::filesystem::path demo = std::filesystem::path(QT_TESTCASE_SOURCEDIR) / ".." / "demo";

  // The demo drives keep their state beside their list: work on a copy.
  testing::TempDir dir;
  std::filesystem::copy_file(demo / "VirtualDrives.ini", dir.Path("VirtualDrives.ini"));
  auto state = std::make_unique<AppState>();
  state->ExecutableDir = (demo / "beside_exe").string();
  SetUpStoragePlatform(*state, dir.Path("VirtualDrives.ini"));
  StartupFiles files;
  files.StringIni = (demo / "String.ini").string();
  files.TabSheetIni = (demo / "TabSheet.ini").string();
  TMainForm form(*state, files);
  form.SetMessageBoxHandler([](const std::string&, const std::string&, MessageIcon) {});
  form.FormCreate();
  form.show();
  ASSERT_GE(state->SelectedDevice, 0);

  const struct {
    int page;
    const char* file;
  } shots[] = {{kPageIdentifyTable, "page_identify_table.png"},
               {kPageSmartInfo, "page_smart_info.png"},
               {kPageCardInfo, "page_card_info.png"},
               {kPageEraseCount, "page_erase_count.png"}};
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
  EXPECT_TRUE(form.grab().save(QDir(out).filePath("page_card_info_raw.png")));

  TSetupForm setup(*state, &form);
  setup.open();
  QApplication::processEvents();
  EXPECT_TRUE(setup.grab().save(QDir(out).filePath("settings_dialog.png")));
  setup.reject();
}

}  // namespace
}  // namespace dozered
