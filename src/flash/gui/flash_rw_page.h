// The "Flash RW" page: raw flash page read, write and erase.
//
// The page only binds its controls to the operations of flash/flash_rw.h:
// a handler gathers the fields (Fields()), runs the operation, and shows the
// fields and views the operation returns. Run() does the three steps for
// any operation, so that the buttons the other flash operations put on this
// page are bound the same way:
//
//   page->BindControl(page->BTN_Chunk_ECC);
//   connect(page->BTN_Chunk_ECC, &QPushButton::clicked, page, [page, &state, &feedback] {
//     page->Run([&](FlashRwFields& fields) { return ReadChunkEccPage(state, feedback, fields); });
//   });
//
// Until it is bound, each of those controls is shown disabled.
#pragma once

#include <QWidget>
#include <filesystem>
#include <functional>
#include <map>

#include "app/app_state.h"
#include "app/feedback.h"
#include "flash/flash_rw.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace dozered {

class SettingsDialogAccess;
class TDumpView;
class TUpDown;

class TFlashRwPage : public QWidget {
  Q_OBJECT

 public:
  TFlashRwPage(AppState& state, Feedback& feedback, QWidget* parent = nullptr);

  // Address, options and transfer length.
  QLineEdit* EDT_FlashRWBlock = nullptr;
  QLineEdit* EDT_FlashRWPage = nullptr;
  QLineEdit* EDT_FlashRWChunk = nullptr;
  TUpDown* UDwn_FlashRWBlock = nullptr;
  TUpDown* UDwn_FlashRWPage = nullptr;
  TUpDown* UDwn_FlashRWChunk = nullptr;
  QLabel* STIC_FlashRWPlane = nullptr;
  QLabel* STIC_FlashRWCH = nullptr;
  QLabel* STIC_FlashRWCE = nullptr;
  TUpDown* UDwn_FlashRWPlane = nullptr;
  TUpDown* UDwn_FlashRWCE = nullptr;     // beside "CH:": steps the channel
  TUpDown* UDwn_FlashRWIntlv = nullptr;  // beside "Intlv:": steps the interleave
  QLineEdit* EDT_FlashRWOption0 = nullptr;
  QLineEdit* EDT_FlashRWchce = nullptr;
  QPushButton* BTN_FlashRWSet = nullptr;
  QComboBox* CMBB_FlashRW_Sector = nullptr;
  // Commands and the page buffer.
  QPushButton* BTN_FlashRW_Read = nullptr;
  QPushButton* BTN_FlashRW_Write = nullptr;
  QPushButton* BTN_FlashRW_Erase = nullptr;
  QPushButton* BTN_FlashRW_OpenFile = nullptr;
  QPushButton* BTN_FlashRW_FillData = nullptr;
  QLineEdit* EDT_FlashRWFillData = nullptr;
  QCheckBox* CHKB_FlashRW_MPProg = nullptr;
  QLineEdit* EDT_FlashRWMutiPageWrite = nullptr;
  QCheckBox* CHKB_FlashRW_FileMap = nullptr;
  QLineEdit* EDT_FlashRWFileMappingName = nullptr;
  QCheckBox* CHKB_FlashClock = nullptr;
  QLineEdit* EDT_FlashClock = nullptr;
  // Views.
  TDumpView* RawView = nullptr;
  TDumpView* SpareView = nullptr;
  QPlainTextEdit* MM_FlashRW = nullptr;
  QPlainTextEdit* MM_FlashRW_Spare = nullptr;
  // Controls of the other flash operations (chunk ECC, LBA to physical, read
  // distribution, code and information dumps), disabled until bound.
  QPushButton* BTN_Chunk_ECC = nullptr;  // shown only when TabSheet.ini lists "Chunk ECC"
  QCheckBox* L2PChkBox = nullptr;
  QLineEdit* EDT_LBAIn = nullptr;
  QPushButton* BTN_LtoP = nullptr;
  QPushButton* BTN_Distribution = nullptr;
  QLineEdit* EDT_Offset = nullptr;
  QPushButton* BTN_Dump_ISP = nullptr;
  QPushButton* BTN_Dump_Info = nullptr;

  // The fields as the operations read them.
  FlashRwFields Fields() const;
  // Shows fields an operation changed.
  void ShowFields(const FlashRwFields& fields);
  // Shows an outcome's views (a view without new text stays as it was).
  void ShowViews(const FlashOutcome& outcome);
  // Runs `operation` on the page's fields, then shows its fields and views.
  FlashOutcome Run(const std::function<FlashOutcome(FlashRwFields&)>& operation);

  // Enables or disables a control; a control of another operation that is
  // not bound yet stays disabled, and takes the state given here once bound.
  void SetControlEnabled(QWidget* control, bool enabled);
  // Marks a control of another operation as bound to its action.
  void BindControl(QWidget* control);
  bool IsBound(QWidget* control) const;

  // The settings dialog, shown modally by "Set"; returns when it closed.
  void SetSettingsDialogHandler(std::function<void()> handler) { settings_dialog_ = std::move(handler); }
  // The settings dialog as the LBA translation uses it without showing it
  // (nullptr: the dialog's logic alone).
  void SetSettingsAccess(SettingsDialogAccess* access) { settings_access_ = access; }
  SettingsDialogAccess* SettingsAccess() const { return settings_access_; }
  // Replaces the file-open dialog of "Open File": returns the chosen file,
  // or an empty path when cancelled.
  void SetOpenFileHandler(std::function<std::filesystem::path()> handler) { open_file_ = std::move(handler); }

 public slots:
  void BTN_FlashRW_ReadClick();
  void BTN_FlashRW_WriteClick();
  void BTN_FlashRW_EraseClick();
  void BTN_FlashRW_FillDataClick();
  void BTN_FlashRW_OpenFileClick();
  void BTN_FlashRWSetClick();
  void UDwn_FlashRWBlockClick(bool up);
  void UDwn_FlashRWPageClick(bool up);
  void UDwn_FlashRWChunkClick(bool up);
  void UDwn_FlashRWCEClick(bool up);
  void UDwn_FlashRWIntlvClick(bool up);
  void UDwn_FlashRWPlaneClick(bool up);
  // The page became active (page change).
  void EnterPage();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  QWidget* BuildLayout();
  void Step(FlashRwStepper stepper, bool up);
  std::filesystem::path ChooseImageFile();

  AppState& state_;
  Feedback& feedback_;
  std::filesystem::path mapping_file_;
  std::map<QWidget*, bool> unbound_;  // control -> the state it takes once bound
  std::function<void()> settings_dialog_;
  SettingsDialogAccess* settings_access_ = nullptr;
  std::function<std::filesystem::path()> open_file_;
};

}  // namespace dozered
