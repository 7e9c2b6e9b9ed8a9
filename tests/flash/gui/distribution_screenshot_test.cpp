// Pictures of the distribution window for the documentation: the same MSB
// page measured on the demo's fresh drive and on its worn, aged one. Runs
// only when DOZERED_SCREENSHOT_DIR names the folder to write them to.
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "app/code_loading.h"
#include "app/gui/main_form.h"
#include "app/page_table.h"
#include "flash/gui/distribution_form.h"
#include "flash/gui/flash_rw_page.h"
#include "sim/code_images.h"
#include "sim/simulated_drive.h"
#include "sim/virtual_drives_ini.h"
#include "support/simulated_drives.h"
#include "support/temp_dir.h"

namespace dozered {
namespace {

// The demo drive declared in section `label`, kept in memory only.
std::shared_ptr<sim::SimulatedDrive> DemoDrive(const std::string& label, const std::string& dir) {
  std::ifstream ini(std::filesystem::path(DOZERED_DEMO_DIR) / "VirtualDrives.ini", std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(ini)), std::istreambuf_iterator<char>());
  for (sim::DriveDeclaration& d : sim::ParseVirtualDrivesIni(text, dir)) {
    if (d.config.label.find(label) == std::string::npos) continue;
    d.config.stateFile.clear();
    return std::make_shared<sim::SimulatedDrive>(d.config);
  }
  return nullptr;
}

void Shoot(const std::string& label, const char* picture) {
  const char* out = std::getenv("DOZERED_SCREENSHOT_DIR");
  if (out == nullptr) GTEST_SKIP() << "DOZERED_SCREENSHOT_DIR not set";
  testing::TempDir dir;
  const std::shared_ptr<sim::SimulatedDrive> drive = DemoDrive(label, dir.Dir().string());
  ASSERT_TRUE(drive) << label;
  // The first F-block past the information blocks that arrived holding data.
  int fblock = sim::kEraseCountStartBlock;
  while (drive->model().flash.InitialContentOf(drive->model().layout.BlockOfFBlock(fblock, 0, 0, 0)) !=
         sim::InitialContent::kData) {
    ++fblock;
  }

  auto state = std::make_unique<AppState>();
  testing::InstallDisks(*state, {drive});
  StartupFiles files;
  files.StringIni = std::filesystem::path(DOZERED_DEMO_DIR) / "String.ini";
  files.TabSheetIni = std::filesystem::path(DOZERED_DEMO_DIR) / "TabSheet.ini";
  TMainForm form(*state, files);
  form.SetMessageBoxHandler([](const std::string&, const std::string&, MessageIcon) {});
  form.FormCreate();
  form.show();
  ASSERT_EQ(state->SelectedDevice, 0);
  state->ExecutableDir = dir.Path("exe");
  std::array<uint8_t, 16> isp{};
  std::copy_n(state->IspInfoTable[0].begin() + 404, 16, isp.begin());
  const std::vector<uint8_t> file = sim::BuildDiagnosticFile(sim::DiagnosticKind::kReadDistribution, isp, true);
  const std::filesystem::path program = DiagnosticCodePathFor(*state, 0, kDgIspReadDistribution);
  std::filesystem::create_directories(program.parent_path());
  std::ofstream(program, std::ios::binary)
      .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));

  TM_Distribution window(*state);
  window.BindButton(*form.FlashRwPage, form, &form);
  form.PC_Main->setCurrentIndex(kPageFlashRw);
  TFlashRwPage* page = form.FlashRwPage;
  char block[16];
  std::snprintf(block, sizeof block, "%04X", static_cast<unsigned>(fblock));
  page->EDT_FlashRWBlock->setText(QString::fromLatin1(block));
  page->EDT_FlashRWPage->setText(QStringLiteral("0068"));  // MSB page 104; then its LSB page 101
  bool saved = false;
  QTimer closer;
  closer.setInterval(5);
  QObject::connect(&closer, &QTimer::timeout, [&] {
    if (!window.isVisible()) return;
    saved = window.grab().save(QDir(out).filePath(QString::fromLatin1(picture)));
    window.reject();
  });
  closer.start();
  page->BTN_Distribution->click();
  EXPECT_TRUE(saved);
}

TEST(DistributionScreenshotTest, FreshDrive) { Shoot("fresh flash", "distribution-fresh.png"); }
TEST(DistributionScreenshotTest, WornAgedDrive) { Shoot("worn and aged", "distribution-worn.png"); }

}  // namespace
}  // namespace dozered
