// The device area of the main window: scan, selection, device information.
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>

#include "app/code_loading.h"
#include "app/device_scan.h"
#include "app/gui/main_form.h"
#include "app/gui/qt_text.h"
#include "app/page_table.h"
#include "flash/gui/flash_rw_page.h"
#include "reports/gui/save_commands.h"

namespace dozered {

// "Rescan Device"; also run once at start-up.
void TMainForm::BTN_ScanDeviceClick() {
  RunScope run(*this);
  ShowStatus(kScanningText);
  CMBB_DeviceList->setCurrentIndex(-1);
  ResetEnumerator(state_);
  ProcessPendingEvents();
  CMBB_DeviceList->clear();

  ScanForControllers(state_);
  const std::vector<std::string> entries = FinishScan(state_);
  if (state_.DeviceCount == 0) {
    MM_DeviceInfo->clear();
    PC_Main->setEnabled(false);
    // No drive is shown, so none can be offered the MPISP load.
    BTN_DLMPISP->setEnabled(false);
    BTN_DLMPISP->setVisible(false);
  } else {
    for (const std::string& entry : entries) CMBB_DeviceList->addItem(ToQString(entry));
    ShowDeviceInfo();
    PC_Main->setEnabled(true);
    CHKB_RawData->setChecked(false);
    CHKB_RawData->setEnabled(false);
    state_.RawViewFlags.fill(0);
  }

  CMBB_DeviceList->setCurrentIndex(state_.SelectedDevice);
  CMBB_DeviceListChange();
  SetActivePage(kPageReadFlashId);
  BTN_ReadDataClick();
  if (auto* diagnosis = findChild<QTabWidget*>(QStringLiteral("PC_Diagnosis"))) {
    diagnosis->setCurrentIndex(0);
  }
  // A scan that found nothing says what it looked at, and the text stays.
  if (state_.DeviceCount == 0) {
    ShowStatus(NoDriveText(state_));
  } else {
    ReportStatus(kScanCompleteText);
  }
}

// The drive list's change event: the pages the drive's code mode allows, and
// the drive's information and first page when another drive was picked.
void TMainForm::CMBB_DeviceListChange() {
  RunScope run(*this);
  const int k = CMBB_DeviceList->currentIndex();
  const PageRule rule = PageRuleFor(state_, k);
  for (int p = 0; p < kPageCount; ++p) {
    if (state_.PageEnabled[p] != 1) continue;
    PC_Main->setTabVisible(p, rule.visible[p]);
    if (p == kPageFlashRw && rule.chunkEcc != ChunkEccButton::Unchanged) {
      FlashRwPage->BTN_Chunk_ECC->setVisible(rule.chunkEcc == ChunkEccButton::Shown);
    }
    ProcessPendingEvents();
  }
  SetActivePage(kPageReadFlashId);
  if (k == state_.SelectedDevice) return;
  state_.SelectedDevice = k;
  ShowDeviceInfo();
  SetActivePage(kPageReadFlashId);
  BTN_ReadDataClick();
}

void TMainForm::ShowDeviceInfo() {
  const DeviceInfo info = SelectedDeviceInfo(state_);
  MM_DeviceInfo->clear();
  for (const std::string& line : info.lines) MM_DeviceInfo->appendPlainText(ToQString(line));
  MM_DeviceInfo->moveCursor(QTextCursor::Start);
  if (info.romCodeMode) {
    MessageBox(kRomCodeModeWarning, kWarningCaption, MessageIcon::Warning);
  }
  BTN_DLMPISP->setEnabled(info.romCodeMode);
  BTN_DLMPISP->setVisible(info.romCodeMode);
}

std::filesystem::path TMainForm::ChooseMpispFile() {
  if (mpisp_file_handler_) return mpisp_file_handler_();
  const UserTurn turn(*this);
  const QString path = QFileDialog::getOpenFileName(this, QString(), QString(),
                                                    QStringLiteral("bin (*.bin);;*.* (*)"));
  return ToPath(path);
}

// "MP ISP": loads the MPISP code into a drive in ROM code mode.
void TMainForm::BTN_DLMPISPClick() {
  RunScope run(*this);
  if (!LoadMpisp(state_, *this, [this] { return ChooseMpispFile(); })) return;
  MessageBox(kMpispFinishText, kMessageCaption, MessageIcon::Information);
  CMBB_DeviceListChange();
  SetActivePage(kPageReadFlashId);
  ShowDeviceInfo();
  BTN_ReadDataClick();
}

// "Save Info": writes the log folder of the selected drive.
void TMainForm::BTN_SaveInfoClick() {
  if (SaveCommands != nullptr) SaveCommands->BTN_SaveInfoClick();
}

}  // namespace dozered
