// The "DBS / DPS" page: block and page scans.
//
// The page binds its controls to the scans of flash/block_scan.h. A scan
// runs in the click's handler with the window's event loop turning before
// each step; meanwhile the page holds the window in scan mode: "E&xit", the
// page control, the device list and "Rescan Device" are disabled and
// "Cancel" is shown, and every way out of the scan leaves scan mode again.
#pragma once

#include <QWidget>
#include <functional>

#include "app/app_state.h"
#include "flash/block_scan.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace dozered {

class TMainForm;

class TDbsDpsPage : public QWidget {
  Q_OBJECT

 public:
  // Where "Cancel" stands on the page during a scan.
  static constexpr int kCancelLeft = 705;
  static constexpr int kCancelTop = 400;

  TDbsDpsPage(AppState& state, TMainForm& form, QWidget* parent = nullptr);

  QLineEdit* EDT_DbsDpsBlock = nullptr;
  QLineEdit* EDT_DbsDpsPage = nullptr;
  QLabel* LB_DbsDpsChunk = nullptr;  // "Chunk:", hidden with its field
  QLineEdit* EDT_DbsDpsChunk = nullptr;
  QLineEdit* EDT_DbsDpsOption0 = nullptr;
  QLineEdit* EDT_DbsDpschce = nullptr;
  QComboBox* CMBB_DBS_Sector = nullptr;
  QPushButton* BTN_DbsDpsSet = nullptr;
  QPushButton* BTN_DBS = nullptr;
  QPushButton* BTN_DPS = nullptr;
  QWidget* PN_ProgressBar = nullptr;
  QProgressBar* CG_ProgressBar = nullptr;
  QPlainTextEdit* MM_DbsDps = nullptr;
  // Shown only during a scan. It sits on the main window over this page, so
  // that it stays usable while the page control is disabled.
  QPushButton* BTN_Cancel = nullptr;

  // The fields as the scans read them.
  DbsDpsFields Fields() const;

  // The settings dialog, shown modally by "Set"; returns when it closed.
  void SetSettingsDialogHandler(std::function<void()> handler) { settings_dialog_ = std::move(handler); }

  // Whether the window is in scan mode.
  bool InScanMode() const { return scan_mode_; }

 public slots:
  void BTN_DBSClick();
  void BTN_DPSClick();
  void BTN_CancelClick();
  void BTN_DbsDpsSetClick();
  // The page became active (page change): the option fields show the bytes.
  void EnterPage();

 private:
  void BuildControls();
  void Scan(BlockScanKind kind);
  void EnterScanMode();
  void LeaveScanMode();
  void ShowOptionFields(const DbsDpsFields& fields);

  AppState& state_;
  TMainForm& form_;
  std::function<void()> settings_dialog_;
  bool scan_mode_ = false;
};

}  // namespace dozered
