#include "flash/gui/dbs_dps_page.h"

#include <QAction>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "app/gui/main_form.h"
#include "app/gui/qt_text.h"
#include "flash/gui/sector_combo.h"

namespace dozered {
namespace {

constexpr int kDumpColumns = 80;
constexpr int kMemoMaxWidth = TDbsDpsPage::kCancelLeft - 15;

// The window's feedback with the page's gauge as the progress bar. The run
// is the window's: while a scan runs, the window refuses everything but
// "Cancel".
class GaugeFeedback : public Feedback {
 public:
  GaugeFeedback(Feedback& window, QProgressBar& gauge) : window_(window), gauge_(gauge) {}

  void ReportStatus(const std::string& text) override { window_.ReportStatus(text); }
  void ShowStatus(const std::string& text) override { window_.ShowStatus(text); }
  void MessageBox(const std::string& text, const std::string& caption, MessageIcon icon) override {
    window_.MessageBox(text, caption, icon);
  }
  // A gauge without steps stays empty (a range of 0 would make it a busy
  // indicator).
  void Progress(int maximum, int position) override {
    gauge_.setMaximum(std::max(maximum, 1));
    gauge_.setValue(position);
  }
  void ProcessPendingEvents() override { window_.ProcessPendingEvents(); }
  bool CancelRequested() override { return window_.CancelRequested(); }

 protected:
  void RunStarted() override { window_.BeginRun(); }
  void RunEnded() override { window_.EndRun(); }

 private:
  Feedback& window_;
  QProgressBar& gauge_;
};

// The dump as the memo shows it: without carriage returns and without the
// line end after the last line.
QString MemoText(const std::string& text) {
  QString shown = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
  shown.remove(QLatin1Char('\r'));
  if (shown.endsWith(QLatin1Char('\n'))) shown.chop(1);
  return shown;
}

QLineEdit* NewField(const char* name, const char* text, int maxLength, QWidget* parent) {
  auto* field = new QLineEdit(QString::fromLatin1(text), parent);
  field->setObjectName(QString::fromLatin1(name));
  field->setMaxLength(maxLength);
  field->setFont(FixedPitchFont());
  const QFontMetrics metrics(field->font());
  field->setFixedWidth(metrics.horizontalAdvance(QLatin1Char('0')) * 4 + 14);
  return field;
}

QPushButton* NewButton(const char* name, const char* caption, QWidget* parent) {
  auto* button = new QPushButton(QString::fromLatin1(caption), parent);
  button->setObjectName(QString::fromLatin1(name));
  return button;
}

QLabel* Caption(const char* text, QWidget* parent) { return new QLabel(QString::fromLatin1(text), parent); }

}  // namespace

TDbsDpsPage::TDbsDpsPage(AppState& state, TMainForm& form, QWidget* parent)
    : QWidget(parent), state_(state), form_(form) {
  setObjectName(QStringLiteral("DbsDpsPage"));
  BuildControls();
}

void TDbsDpsPage::BuildControls() {
  EDT_DbsDpsBlock = NewField("EDT_DbsDpsBlock", "0000", 4, this);
  EDT_DbsDpsPage = NewField("EDT_DbsDpsPage", "0000", 4, this);
  LB_DbsDpsChunk = Caption("Chunk:", this);
  LB_DbsDpsChunk->setObjectName(QStringLiteral("LB_DbsDpsChunk"));
  EDT_DbsDpsChunk = NewField("EDT_DbsDpsChunk", "00", 2, this);
  EDT_DbsDpsOption0 = NewField("EDT_DbsDpsOption0", "00", 2, this);
  EDT_DbsDpschce = NewField("EDT_DbsDpschce", "00", 2, this);
  EDT_DbsDpsOption0->setReadOnly(true);
  EDT_DbsDpschce->setReadOnly(true);
  CMBB_DBS_Sector = NewSectorCombo("CMBB_DBS_Sector", this);
  BTN_DbsDpsSet = NewButton("BTN_DbsDpsSet", "Set", this);
  BTN_DBS = NewButton("BTN_DBS", "DBS", this);
  BTN_DPS = NewButton("BTN_DPS", "DPS", this);

  PN_ProgressBar = new QWidget(this);
  PN_ProgressBar->setObjectName(QStringLiteral("PN_ProgressBar"));
  CG_ProgressBar = new QProgressBar(PN_ProgressBar);
  CG_ProgressBar->setObjectName(QStringLiteral("CG_ProgressBar"));
  CG_ProgressBar->setRange(0, 1);
  CG_ProgressBar->setValue(0);
  CG_ProgressBar->setAlignment(Qt::AlignCenter);
  CG_ProgressBar->setStyleSheet(
      QStringLiteral("QProgressBar { border: 1px solid #808080; background: white; color: black; }"
                     "QProgressBar::chunk { background-color: #0000FF; }"));
  auto* gauge = new QVBoxLayout(PN_ProgressBar);
  gauge->setContentsMargins(0, 0, 0, 0);
  gauge->addWidget(CG_ProgressBar);

  MM_DbsDps = new QPlainTextEdit(this);
  MM_DbsDps->setObjectName(QStringLiteral("MM_DbsDps"));
  MM_DbsDps->setReadOnly(true);
  MM_DbsDps->setFont(FixedPitchFont());
  MM_DbsDps->setLineWrapMode(QPlainTextEdit::NoWrap);
  MM_DbsDps->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  MM_DbsDps->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  {
    const QFontMetrics metrics(MM_DbsDps->font());
    const int needed = metrics.horizontalAdvance(QString(kDumpColumns, QLatin1Char('0'))) + 2 * MM_DbsDps->frameWidth() +
                       static_cast<int>(2 * MM_DbsDps->document()->documentMargin()) + 24;
    MM_DbsDps->setFixedWidth(std::min(needed, kMemoMaxWidth));
  }

  // "Cancel" lives on the window, over the page.
  BTN_Cancel = NewButton("BTN_Cancel", "Cancel", &form_);
  BTN_Cancel->setVisible(false);
  form_.AllowDuringRun(BTN_Cancel);

  // The memo on the left, the fields and commands on the right; "Cancel"
  // appears below the gauge during a scan.
  auto* fields = new QGridLayout;
  fields->setHorizontalSpacing(6);
  int row = 0;
  fields->addWidget(Caption("Block:", this), row, 0);
  fields->addWidget(EDT_DbsDpsBlock, row++, 1, 1, 2, Qt::AlignLeft);
  fields->addWidget(Caption("Page:", this), row, 0);
  fields->addWidget(EDT_DbsDpsPage, row++, 1, 1, 2, Qt::AlignLeft);
  fields->addWidget(LB_DbsDpsChunk, row, 0);
  fields->addWidget(EDT_DbsDpsChunk, row++, 1, 1, 2, Qt::AlignLeft);
  fields->addWidget(Caption("Intlv:", this), row, 0);
  fields->addWidget(EDT_DbsDpsOption0, row, 1);
  fields->addWidget(EDT_DbsDpschce, row, 2);
  fields->addWidget(BTN_DbsDpsSet, row++, 3);
  fields->addWidget(Caption("Sectors:", this), row, 0);
  fields->addWidget(CMBB_DBS_Sector, row++, 1, 1, 2);
  fields->setColumnStretch(4, 1);
  LB_DbsDpsChunk->setVisible(false);
  EDT_DbsDpsChunk->setVisible(false);

  auto* commands = new QHBoxLayout;
  commands->addWidget(BTN_DBS);
  commands->addWidget(BTN_DPS);
  commands->addStretch(1);

  PN_ProgressBar->setFixedSize(320, 22);

  auto* right = new QVBoxLayout;
  right->addLayout(fields);
  right->addSpacing(12);
  right->addLayout(commands);
  right->addSpacing(12);
  right->addWidget(PN_ProgressBar);
  right->addStretch(1);

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(MM_DbsDps);
  layout->addSpacing(8);
  layout->addLayout(right, 1);

  connect(BTN_DBS, &QPushButton::clicked, this, &TDbsDpsPage::BTN_DBSClick);
  connect(BTN_DPS, &QPushButton::clicked, this, &TDbsDpsPage::BTN_DPSClick);
  connect(BTN_Cancel, &QPushButton::clicked, this, &TDbsDpsPage::BTN_CancelClick);
  connect(BTN_DbsDpsSet, &QPushButton::clicked, this, &TDbsDpsPage::BTN_DbsDpsSetClick);
}

DbsDpsFields TDbsDpsPage::Fields() const {
  DbsDpsFields f;
  f.Block = ToStdString(EDT_DbsDpsBlock->text());
  f.Page = ToStdString(EDT_DbsDpsPage->text());
  f.Chunk = ToStdString(EDT_DbsDpsChunk->text());
  f.Option = ToStdString(EDT_DbsDpsOption0->text());
  f.ChCe = ToStdString(EDT_DbsDpschce->text());
  f.SectorIndex = CMBB_DBS_Sector->currentIndex();
  return f;
}

void TDbsDpsPage::ShowOptionFields(const DbsDpsFields& fields) {
  EDT_DbsDpsOption0->setText(ToQString(fields.Option));
  EDT_DbsDpschce->setText(ToQString(fields.ChCe));
}

void TDbsDpsPage::BTN_DBSClick() { Scan(BlockScanKind::kDbs); }

void TDbsDpsPage::BTN_DPSClick() { Scan(BlockScanKind::kDps); }

void TDbsDpsPage::Scan(BlockScanKind kind) {
  GaugeFeedback feedback(form_, *CG_ProgressBar);
  BlockScanWindow window;
  window.EnterScanMode = [this] { EnterScanMode(); };
  window.LeaveScanMode = [this] { LeaveScanMode(); };
  window.ClearResultView = [this] { MM_DbsDps->clear(); };
  const BlockScanOutcome out = RunBlockScan(state_, feedback, kind, Fields(), window);
  if (out.Dump) MM_DbsDps->setPlainText(MemoText(*out.Dump));
}

// Only sets the cancel flag: the scan sees it before its next step.
void TDbsDpsPage::BTN_CancelClick() { form_.SetCancelRequested(true); }

void TDbsDpsPage::BTN_DbsDpsSetClick() {
  DbsDpsFields fields = Fields();
  if (DbsDpsSet(state_, fields, settings_dialog_)) ShowOptionFields(fields);
}

void TDbsDpsPage::EnterPage() {
  DbsDpsFields fields = Fields();
  ShowDbsDpsOptionBytes(state_, fields);
  ShowOptionFields(fields);
}

void TDbsDpsPage::EnterScanMode() {
  scan_mode_ = true;
  form_.MI_Exit->setEnabled(false);
  form_.PC_Main->setEnabled(false);
  form_.CMBB_DeviceList->setEnabled(false);
  form_.BTN_ScanDevice->setEnabled(false);
  BTN_Cancel->move(mapTo(&form_, QPoint(kCancelLeft, kCancelTop)));
  BTN_Cancel->show();
  BTN_Cancel->raise();
}

void TDbsDpsPage::LeaveScanMode() {
  form_.MI_Exit->setEnabled(true);
  form_.PC_Main->setEnabled(true);
  form_.CMBB_DeviceList->setEnabled(true);
  form_.BTN_ScanDevice->setEnabled(true);
  BTN_Cancel->hide();
  scan_mode_ = false;
}

}  // namespace dozered
