// The main window: the device area at the top, the page control PC_Main with
// its fourteen pages, and the status bar with the status line, the progress
// bar and the raw-data check box. Page contents live in their own classes;
// this window hosts them and carries the handlers shared by all pages.
#pragma once

#include <QMainWindow>
#include <array>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/feedback.h"
#include "app/startup_files.h"

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QTabWidget;
class QTimer;

namespace dozered {

class TFlashRwPage;
class TFlashDiagnosisPage;
class TDbsDpsPage;
class TChunkEccPage;
class TL2pPage;
class InfoPage;
class TReadFlashIdPage;
class TIdentifyTablePage;
class TSmartInfoPage;
class TCardInfoPage;
class TEraseCountPage;
class TCidOptionPage;
class TMarkBadInfoPage;
class TMicrocodePage;
class TErrorLogPage;
class RunGate;
class TSaveCommands;
struct PageReadOutput;

class TMainForm : public QMainWindow, public Feedback {
  Q_OBJECT

 public:
  static constexpr int kStatusPanelCount = 3;
  static constexpr std::array<int, kStatusPanelCount> kStatusPanelWidths = {300, 415, 50};
  static constexpr int kStatusBarClearMs = 2000;

  explicit TMainForm(AppState& state, StartupFiles files = {}, QWidget* parent = nullptr);
  ~TMainForm() override;

  // The window's creation steps; run once, right after construction.
  void FormCreate();

  // Page `index` of PC_Main (0 to 13): the container its content goes into.
  QWidget* Page(int index) const;
  // Puts `content` into page `index`, filling it.
  void SetPageContent(int index, QWidget* content);
  // Makes page `index` active from code, without running PC_MainChange. A
  // page whose tab is hidden can be made active too.
  void SetActivePage(int index);
  int ActivePage() const;
  // Shows or hides the tab of page `index` from code; when that moves the
  // active page, PC_MainChange does not run either.
  void SetPageVisible(int index, bool visible);

  // Panel `index` of StatusBar1.
  QLabel* StatusBarPanel(int index) const;

  // Feedback of the operations run from this window.
  void ReportStatus(const std::string& text) override;
  void ShowStatus(const std::string& text) override;
  void MessageBox(const std::string& text, const std::string& caption, MessageIcon icon) override;
  void Progress(int maximum, int position) override;
  void ProcessPendingEvents() override;
  bool CancelRequested() override;
  void SetCancelRequested(bool requested) { cancel_requested_ = requested; }

  // A control that stays usable while a run is open ("Cancel"); every other
  // control of the window is refused then (see app/feedback.h).
  void AllowDuringRun(QWidget* control);

  // Replaces the modal message box, so that tests can answer it.
  using MessageBoxHandler =
      std::function<void(const std::string& text, const std::string& caption, MessageIcon icon)>;
  void SetMessageBoxHandler(MessageBoxHandler handler) {
    message_box_handler_ = std::move(handler);
  }
  // Replaces the MPISP file-open dialog: returns the chosen path, "" when cancelled.
  using OpenFileHandler = std::function<std::filesystem::path()>;
  void SetMpispFileHandler(OpenFileHandler handler) { mpisp_file_handler_ = std::move(handler); }

  AppState& State() { return state_; }

  // Controls (named as the window's designer names them).
  QAction* MI_Exit = nullptr;
  QAction* MI_About = nullptr;
  QGroupBox* GB_DeviceSelect = nullptr;
  QComboBox* CMBB_DeviceList = nullptr;
  QPushButton* BTN_ScanDevice = nullptr;
  QPushButton* BTN_SaveInfo = nullptr;
  QPushButton* BTN_DLMPISP = nullptr;
  QPushButton* BTN_ReadData = nullptr;
  QWidget* PN_DeviceInfo = nullptr;
  QPlainTextEdit* MM_DeviceInfo = nullptr;
  QTabWidget* PC_Main = nullptr;
  QStatusBar* StatusBar1 = nullptr;
  QWidget* PN_StatusBar = nullptr;
  QLabel* LB_StatusBar = nullptr;
  QProgressBar* ProcessBar = nullptr;
  QCheckBox* CHKB_RawData = nullptr;
  QTimer* TM_StatusBarClear = nullptr;

  // Page contents that other handlers reach into.
  TFlashRwPage* FlashRwPage = nullptr;
  TFlashDiagnosisPage* FlashDiagnosisPage = nullptr;
  TDbsDpsPage* DbsDpsPage = nullptr;
  TChunkEccPage* ChunkEccPage = nullptr;
  TL2pPage* L2pPage = nullptr;
  TReadFlashIdPage* ReadFlashIdPage = nullptr;
  TIdentifyTablePage* IdentifyTablePage = nullptr;
  TSmartInfoPage* SmartInfoPage = nullptr;
  TCardInfoPage* CardInfoPage = nullptr;
  TEraseCountPage* EraseCountPage = nullptr;
  TCidOptionPage* CidOptionPage = nullptr;
  TMarkBadInfoPage* MarkBadInfoPage = nullptr;
  TMicrocodePage* MicrocodePage = nullptr;
  TErrorLogPage* ErrorLogPage = nullptr;
  // The saving commands: context menus, save dialogs, "Save Info", the erase-count buttons.
  TSaveCommands* SaveCommands = nullptr;

  // The memo and list of information page `page` (0-5, 10, 13); nullptr for
  // the other pages.
  InfoPage* InformationPage(int page) const;
  // Reads information page `page` into its views and reports the outcome,
  // whichever page is active (the save log reads every page this way).
  void ReadInformationPage(int page);
  // Shows what a read of information page `page` gave in its views.
  void ShowPageRead(int page, const PageReadOutput& out);

 signals:
  // PC_MainChange made a flash page active (7, 8 or 9) after it set the raw
  // data box; the page prepares itself and, on 8, reads.
  void FlashPageActivated(int page);

 public slots:
  // Device area (main_form_device.cpp).
  void BTN_ScanDeviceClick();
  void CMBB_DeviceListChange();
  void BTN_DLMPISPClick();
  void BTN_SaveInfoClick();
  // Fills MM_DeviceInfo for the selected drive; warns about ROM code mode.
  void ShowDeviceInfo();
  // Pages (main_form_pages.cpp).
  void BTN_ReadDataClick();
  void PC_MainChange();
  void CHKB_RawDataClick();
  void LV_IdentifyTableClick();
  // Status bar.
  void TM_StatusBarClearTimer();
  void FormResize();
  // Menu: "E&xit" closes the window as its frame's close button does;
  // "&About" shows the caption.
  void MI_ExitClick();
  void MI_AboutClick();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  // During a run the window asks the run to cancel and closes once it ended.
  void closeEvent(QCloseEvent* event) override;
  void RunStarted() override;
  void RunEnded() override;

 private:
  void CreateMenu();
  QWidget* CreateDeviceArea();
  void CreatePages();
  void CreateInformationPages();
  void CreateStatusBar();
  // Shows the tabs, the ChunkECC button and the active page the page list asks for.
  void ApplyPageList(const PageListLayout& layout);
  void OnCurrentPageChanged();
  void SetStatusText(const std::string& text);
  // While a run waits for the user in a dialog, the busy cursor gives way.
  class UserTurn {
   public:
    explicit UserTurn(TMainForm& form);
    ~UserTurn();
    UserTurn(const UserTurn&) = delete;
    UserTurn& operator=(const UserTurn&) = delete;

   private:
    bool busy_;
  };
  std::filesystem::path ChooseMpispFile();

  AppState& state_;
  // The files read at creation (working directory by default), and what
  // start-up found wrong before the window existed (shown once created).
  StartupFiles files_;
  std::array<QWidget*, kPageCount> pages_{};
  std::array<InfoPage*, kPageCount> info_pages_{};
  std::array<QLabel*, kStatusPanelCount> status_panels_{};
  MessageBoxHandler message_box_handler_;
  OpenFileHandler mpisp_file_handler_;
  bool cancel_requested_ = false;
  bool close_pending_ = false;
  bool page_set_in_code_ = false;
  RunGate* run_gate_ = nullptr;
};

}  // namespace dozered
