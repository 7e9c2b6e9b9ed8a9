#include "app/gui/main_form.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "app/caption.h"
#include "app/device_scan.h"
#include "app/gui/qt_text.h"
#include "app/gui/run_gate.h"
#include "app/page_list.h"
#include "app/page_table.h"
#include "flash/gui/chunk_ecc_page.h"
#include "flash/gui/code_dump_buttons.h"
#include "flash/gui/dbs_dps_page.h"
#include "flash/gui/flash_diagnosis_page.h"
#include "flash/gui/flash_rw_lba.h"
#include "flash/gui/flash_rw_page.h"
#include "flash/gui/l2p_page.h"
#include "reports/gui/save_commands.h"

namespace dozered {
namespace {

constexpr int kDefaultWidth = 1260;
constexpr int kDefaultHeight = 820;
constexpr int kStatusBarHeight = 30;
constexpr int kStatusControlHeight = 20;

}  // namespace

TMainForm::TMainForm(AppState& state, StartupFiles files, QWidget* parent)
    : QMainWindow(parent), state_(state), files_(std::move(files)) {
  setObjectName(QStringLiteral("MainForm"));
  setWindowTitle(ToQString(FormatCaption(1, 3, 14)));
  resize(kDefaultWidth, kDefaultHeight);
  run_gate_ = new RunGate(this);
  run_gate_->Guard(this);

  CreateMenu();
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(6, 6, 6, 6);
  layout->addWidget(CreateDeviceArea());
  CreatePages();
  layout->addWidget(PC_Main, 1);
  setCentralWidget(central);
  CreateStatusBar();

  TM_StatusBarClear = new QTimer(this);
  TM_StatusBarClear->setObjectName(QStringLiteral("TM_StatusBarClear"));
  TM_StatusBarClear->setSingleShot(true);
  TM_StatusBarClear->setInterval(kStatusBarClearMs);
  connect(TM_StatusBarClear, &QTimer::timeout, this, &TMainForm::TM_StatusBarClearTimer);
}

TMainForm::~TMainForm() = default;

void TMainForm::CreateMenu() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  file->setObjectName(QStringLiteral("MI_File"));
  MI_Exit = file->addAction(QStringLiteral("E&xit"));
  MI_Exit->setObjectName(QStringLiteral("MI_Exit"));
  MI_About = menuBar()->addAction(QStringLiteral("&About"));
  MI_About->setObjectName(QStringLiteral("MI_About"));
  connect(MI_Exit, &QAction::triggered, this, &TMainForm::MI_ExitClick);
  connect(MI_About, &QAction::triggered, this, &TMainForm::MI_AboutClick);
}

void TMainForm::MI_ExitClick() { close(); }

void TMainForm::MI_AboutClick() {
  MessageBox(ToStdString(windowTitle()), "About", MessageIcon::Information);
}

QWidget* TMainForm::CreateDeviceArea() {
  GB_DeviceSelect = new QGroupBox(QStringLiteral("Device:"));
  GB_DeviceSelect->setObjectName(QStringLiteral("GB_DeviceSelect"));

  CMBB_DeviceList = new QComboBox;
  CMBB_DeviceList->setObjectName(QStringLiteral("CMBB_DeviceList"));
  CMBB_DeviceList->setEditable(false);
  CMBB_DeviceList->setMinimumWidth(260);
  connect(CMBB_DeviceList, &QComboBox::activated, this, &TMainForm::CMBB_DeviceListChange);

  auto make_button = [this](const char* name, const char* caption) {
    auto* button = new QPushButton(QString::fromLatin1(caption));
    button->setObjectName(QString::fromLatin1(name));
    return button;
  };
  BTN_ScanDevice = make_button("BTN_ScanDevice", "Rescan Device");
  BTN_SaveInfo = make_button("BTN_SaveInfo", "Save Info");
  BTN_DLMPISP = make_button("BTN_DLMPISP", "MP ISP");
  BTN_DLMPISP->setEnabled(false);
  BTN_DLMPISP->setVisible(false);
  BTN_ReadData = make_button("BTN_ReadData", "Read Data");
  BTN_ReadData->setVisible(false);
  connect(BTN_ScanDevice, &QPushButton::clicked, this, &TMainForm::BTN_ScanDeviceClick);
  connect(BTN_SaveInfo, &QPushButton::clicked, this, &TMainForm::BTN_SaveInfoClick);
  connect(BTN_DLMPISP, &QPushButton::clicked, this, &TMainForm::BTN_DLMPISPClick);
  connect(BTN_ReadData, &QPushButton::clicked, this, &TMainForm::BTN_ReadDataClick);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(BTN_ScanDevice);
  buttons->addWidget(BTN_SaveInfo);
  buttons->addWidget(BTN_DLMPISP);
  buttons->addWidget(BTN_ReadData);
  buttons->addStretch(1);
  auto* left = new QVBoxLayout;
  left->addWidget(CMBB_DeviceList);
  left->addLayout(buttons);
  left->addStretch(1);

  PN_DeviceInfo = new QWidget;
  PN_DeviceInfo->setObjectName(QStringLiteral("PN_DeviceInfo"));
  MM_DeviceInfo = new QPlainTextEdit(PN_DeviceInfo);
  MM_DeviceInfo->setObjectName(QStringLiteral("MM_DeviceInfo"));
  MM_DeviceInfo->setReadOnly(true);
  MM_DeviceInfo->setFont(FixedPitchFont());
  MM_DeviceInfo->setLineWrapMode(QPlainTextEdit::NoWrap);
  auto* info = new QVBoxLayout(PN_DeviceInfo);
  info->setContentsMargins(0, 0, 0, 0);
  info->addWidget(MM_DeviceInfo);
  PN_DeviceInfo->setFixedHeight(9 * QFontMetrics(MM_DeviceInfo->font()).lineSpacing() + 12);

  auto* row = new QHBoxLayout(GB_DeviceSelect);
  row->addLayout(left, 0);
  row->addWidget(PN_DeviceInfo, 1);
  return GB_DeviceSelect;
}

void TMainForm::CreatePages() {
  PC_Main = new QTabWidget;
  PC_Main->setObjectName(QStringLiteral("PC_Main"));
  for (int i = 0; i < kPageCount; ++i) {
    auto* page = new QWidget;
    page->setObjectName(QString::fromLatin1(kPages[i].ControlName));
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(4, 4, 4, 4);
    pages_[i] = page;
    PC_Main->addTab(page, QString::fromLatin1(kPages[i].Caption));
  }
  connect(PC_Main, &QTabWidget::currentChanged, this, &TMainForm::OnCurrentPageChanged);

  FlashRwPage = new TFlashRwPage(state_, *this);
  SetPageContent(kPageFlashRw, FlashRwPage);
  connect(this, &TMainForm::FlashPageActivated, this, [this](int page) {
    if (page != kPageFlashRw) return;
    ProcessBar->setVisible(true);
    FlashRwPage->EnterPage();
  });
  BindCodeDumpButtons(*FlashRwPage, state_, *this);
  FlashDiagnosisPage = new TFlashDiagnosisPage(state_, *this);
  SetPageContent(kPageFlashDiagnosis, FlashDiagnosisPage);
  connect(this, &TMainForm::FlashPageActivated, FlashDiagnosisPage, [this](int page) {
    if (page == kPageFlashDiagnosis) FlashDiagnosisPage->EnterPage();
  });
  DbsDpsPage = new TDbsDpsPage(state_, *this);
  SetPageContent(kPageDbsDps, DbsDpsPage);
  ChunkEccPage = new TChunkEccPage(state_, *this);
  SetPageContent(kPageChunkEcc, ChunkEccPage);
  L2pPage = new TL2pPage(state_, *this);
  SetPageContent(kPageL2P, L2pPage);
  BindChunkEccAndLbaControls(*FlashRwPage, *L2pPage, state_, *this);
  connect(this, &TMainForm::FlashPageActivated, this, [this](int page) {
    if (page == kPageDbsDps) DbsDpsPage->EnterPage();
  });
  CreateInformationPages();
  SaveCommands = new TSaveCommands(*this, state_);
}

void TMainForm::CreateStatusBar() {
  StatusBar1 = new QStatusBar;
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusBar1->setSizeGripEnabled(false);
  StatusBar1->setFixedHeight(kStatusBarHeight);
  setStatusBar(StatusBar1);
  for (int i = 0; i < kStatusPanelCount; ++i) {
    auto* panel = new QLabel(StatusBar1);
    panel->setObjectName(QStringLiteral("StatusBar1_Panel%1").arg(i));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    status_panels_[i] = panel;
  }

  // These sit on the window above the status bar; FormResize places them.
  PN_StatusBar = new QWidget(this);
  PN_StatusBar->setObjectName(QStringLiteral("PN_StatusBar"));
  LB_StatusBar = new QLabel(PN_StatusBar);
  LB_StatusBar->setObjectName(QStringLiteral("LB_StatusBar"));
  QFont bold = LB_StatusBar->font();
  bold.setBold(true);
  LB_StatusBar->setFont(bold);
  auto* label_layout = new QHBoxLayout(PN_StatusBar);
  label_layout->setContentsMargins(2, 0, 2, 0);
  label_layout->addWidget(LB_StatusBar);
  PN_StatusBar->resize(kStatusPanelWidths[0] - 12, kStatusControlHeight);

  ProcessBar = new QProgressBar(this);
  ProcessBar->setObjectName(QStringLiteral("ProcessBar"));
  ProcessBar->setValue(0);
  ProcessBar->setVisible(false);

  CHKB_RawData = new QCheckBox(QStringLiteral("Raw Data"), this);
  CHKB_RawData->setObjectName(QStringLiteral("CHKB_RawData"));
  connect(CHKB_RawData, &QCheckBox::toggled, this, &TMainForm::CHKB_RawDataClick);

  PN_StatusBar->raise();
  ProcessBar->raise();
  CHKB_RawData->raise();
}

void TMainForm::FormCreate() {
  RunScope run(*this);
  // 1. First placement of the raw-data box and the status panel.
  const QRect outer = frameGeometry();
  CHKB_RawData->move(outer.width() - 150, outer.height() - 75);
  PN_StatusBar->move(10, outer.height() - 75);
  // 2, 3, 4. Configuration files and the flash option bytes.
  for (int i = 0; i < kPageCount; ++i) SetPageVisible(i, false);
  const StartupConfiguration config = LoadStartupConfiguration(state_, files_, this);
  ApplyPageList(config.Pages);
  // 5, 6. First scan and first read.
  BTN_ScanDeviceClick();
  BTN_ReadDataClick();
  // 7. Transfer lengths of the flash pages.
  FlashRwPage->CMBB_FlashRW_Sector->setCurrentIndex(0);
  DbsDpsPage->CMBB_DBS_Sector->setCurrentIndex(0);
  // 8. Caption from the built version.
  setWindowTitle(ToQString(MainWindowCaption()));

  // The first read replaced the scan's word on an empty drive list.
  if (state_.DeviceCount == 0) ShowStatus(NoDriveText(state_));
  // Configuration files that are there but could not be used.
  if (!config.Notes.empty()) MessageBox(StartupNotesText(config.Notes), kWarningCaption, MessageIcon::Warning);
}

void TMainForm::ApplyPageList(const PageListLayout& layout) {
  for (int i = 0; i < kPageCount; ++i) SetPageVisible(i, layout.TabVisible[i]);
  if (layout.ChunkEccButtonVisible) FlashRwPage->BTN_Chunk_ECC->setVisible(true);
  if (layout.ActivePage >= 0) SetActivePage(layout.ActivePage);
}

QWidget* TMainForm::Page(int index) const { return pages_.at(static_cast<std::size_t>(index)); }

void TMainForm::SetPageContent(int index, QWidget* content) {
  QWidget* page = Page(index);
  content->setParent(page);
  page->layout()->addWidget(content);
}

void TMainForm::SetActivePage(int index) {
  const bool outer = page_set_in_code_;
  page_set_in_code_ = true;
  PC_Main->setCurrentIndex(index);
  page_set_in_code_ = outer;
}

void TMainForm::SetPageVisible(int index, bool visible) {
  const bool outer = page_set_in_code_;
  page_set_in_code_ = true;
  PC_Main->setTabVisible(index, visible);
  page_set_in_code_ = outer;
}

int TMainForm::ActivePage() const { return PC_Main->currentIndex(); }

void TMainForm::OnCurrentPageChanged() {
  if (!page_set_in_code_) PC_MainChange();
}

QLabel* TMainForm::StatusBarPanel(int index) const {
  return status_panels_.at(static_cast<std::size_t>(index));
}

void TMainForm::FormResize() {
  const QRect bar = StatusBar1->geometry();
  int left = 0;
  for (int i = 0; i < kStatusPanelCount; ++i) {
    const bool last = i == kStatusPanelCount - 1;
    const int width =
        last ? std::max(kStatusPanelWidths[i], bar.width() - left) : kStatusPanelWidths[i];
    status_panels_[i]->setGeometry(left, 0, width, bar.height());
    left += width;
  }
  PN_StatusBar->move(bar.left() + 8, bar.top() + 6);
  ProcessBar->setGeometry(kStatusPanelWidths[0] + 3, bar.top() + 6, kStatusPanelWidths[1] - 3,
                          kStatusControlHeight);
  CHKB_RawData->move(kStatusPanelWidths[0] + kStatusPanelWidths[1] + 9, bar.top() + 5);
  CHKB_RawData->resize(CHKB_RawData->sizeHint());
}

void TMainForm::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  FormResize();
}

void TMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  FormResize();
}

void TMainForm::TM_StatusBarClearTimer() {
  SetStatusText(std::string());
  TM_StatusBarClear->stop();
}

void TMainForm::ReportStatus(const std::string& text) {
  SetStatusText(text);
  TM_StatusBarClear->start();
}

// A shown text stays until the next one: a clear still pending from an
// earlier report must not take it away.
void TMainForm::ShowStatus(const std::string& text) {
  TM_StatusBarClear->stop();
  SetStatusText(text);
}

// The status panel keeps the width of the first status bar panel; a longer
// text widens it over the next panel (painted over it) rather than being cut.
void TMainForm::SetStatusText(const std::string& text) {
  LB_StatusBar->setText(ToQString(text));
  const int normal = kStatusPanelWidths[0] - 12;
  const int needed = LB_StatusBar->sizeHint().width() + 4;
  PN_StatusBar->resize(std::max(normal, needed), kStatusControlHeight);
  PN_StatusBar->setAutoFillBackground(needed > normal);
  LB_StatusBar->setAutoFillBackground(needed > normal);
  PN_StatusBar->raise();
}

void TMainForm::MessageBox(const std::string& text, const std::string& caption, MessageIcon icon) {
  if (message_box_handler_) {
    message_box_handler_(text, caption, icon);
    return;
  }
  QMessageBox::Icon qicon = QMessageBox::Information;
  if (icon == MessageIcon::Warning) qicon = QMessageBox::Warning;
  if (icon == MessageIcon::Error) qicon = QMessageBox::Critical;
  QMessageBox box(qicon, ToQString(caption), ToQString(text), QMessageBox::Ok, this);
  const UserTurn turn(*this);
  box.exec();
}

TMainForm::UserTurn::UserTurn(TMainForm& form) : busy_(form.RunOpen()) {
  if (busy_) QApplication::restoreOverrideCursor();
}

TMainForm::UserTurn::~UserTurn() {
  if (busy_) QApplication::setOverrideCursor(Qt::BusyCursor);
}

void TMainForm::Progress(int maximum, int position) {
  ProcessBar->setMaximum(maximum);
  ProcessBar->setValue(position);
}

void TMainForm::ProcessPendingEvents() { QApplication::processEvents(); }

bool TMainForm::CancelRequested() { return cancel_requested_; }

void TMainForm::AllowDuringRun(QWidget* control) { run_gate_->AllowDuringRun(control); }

// A cancel belongs to the run it was asked in.
void TMainForm::RunStarted() {
  if (!close_pending_) cancel_requested_ = false;
  run_gate_->SetRunOpen(true);
  QApplication::setOverrideCursor(Qt::BusyCursor);
}

void TMainForm::RunEnded() {
  QApplication::restoreOverrideCursor();
  run_gate_->SetRunOpen(false);
  if (close_pending_) {
    // Closed from outside the handler that held the run, once it returned.
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
  }
}

void TMainForm::closeEvent(QCloseEvent* event) {
  if (RunOpen()) {
    cancel_requested_ = true;
    close_pending_ = true;
    event->ignore();
    return;
  }
  close_pending_ = false;
  QMainWindow::closeEvent(event);
}

}  // namespace dozered
