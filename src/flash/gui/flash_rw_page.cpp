#include "flash/gui/flash_rw_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/gui/qt_text.h"
#include "flash/gui/dump_view.h"
#include "flash/gui/sector_combo.h"
#include "flash/gui/up_down.h"

namespace dozered {
namespace {

constexpr char kNotYetAvailable[] = "Not available in this version";

QString PathText(const std::filesystem::path& path) {
#ifdef _WIN32
  return QString::fromStdWString(path.wstring());
#else
  return QFile::decodeName(QByteArray::fromStdString(path.string()));
#endif
}

// Sets a field's text only when it differs, so that an unchanged field keeps
// its caret and selection.
void SetText(QLineEdit* field, const std::string& text) {
  const QString shown = ToQString(text);
  if (field->text() != shown) field->setText(shown);
}

void SetText(QLabel* label, const std::string& text) {
  const QString shown = ToQString(text);
  if (label->text() != shown) label->setText(shown);
}

QLineEdit* NewField(const QString& name, const QString& text, int maxLength, int widthChars, QWidget* parent) {
  auto* field = new QLineEdit(text, parent);
  field->setObjectName(name);
  field->setMaxLength(maxLength);
  field->setFont(FixedPitchFont());
  const QFontMetrics metrics(field->font());
  field->setFixedWidth(metrics.horizontalAdvance(QLatin1Char('0')) * widthChars + 14);
  return field;
}

QLabel* NewDisplay(const QString& name, QWidget* parent) {
  auto* label = new QLabel(QStringLiteral("00"), parent);
  label->setObjectName(name);
  label->setFont(FixedPitchFont());
  label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  label->setAlignment(Qt::AlignCenter);
  const QFontMetrics metrics(label->font());
  label->setFixedWidth(metrics.horizontalAdvance(QStringLiteral("00")) + 12);
  return label;
}

QPushButton* NewButton(const QString& name, const QString& caption, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  return button;
}

QCheckBox* NewCheckBox(const QString& name, const QString& caption, QWidget* parent) {
  auto* box = new QCheckBox(caption, parent);
  box->setObjectName(name);
  return box;
}

QLabel* Caption(const char* text, QWidget* parent) { return new QLabel(QString::fromLatin1(text), parent); }

// A field with its up/down control right beside it.
QHBoxLayout* WithStepper(QWidget* field, TUpDown* stepper) {
  auto* pair = new QHBoxLayout;
  pair->setSpacing(1);
  pair->addWidget(field);
  pair->addWidget(stepper);
  return pair;
}

}  // namespace

TFlashRwPage::TFlashRwPage(AppState& state, Feedback& feedback, QWidget* parent)
    : QWidget(parent), state_(state), feedback_(feedback) {
  setObjectName(QStringLiteral("FlashRwPage"));
  BuildControls();
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(BuildLayout());
  auto* views = new QHBoxLayout;
  views->addWidget(RawView, 1);
  views->addWidget(SpareView, 1);
  layout->addLayout(views, 1);
}

void TFlashRwPage::BuildControls() {
  EDT_FlashRWBlock = NewField(QStringLiteral("EDT_FlashRWBlock"), QStringLiteral("0000"), 4, 4, this);
  EDT_FlashRWPage = NewField(QStringLiteral("EDT_FlashRWPage"), QStringLiteral("0000"), 4, 4, this);
  EDT_FlashRWChunk =
      NewField(QStringLiteral("EDT_FlashRWChunk"), QStringLiteral("00"), kChunkFieldMaxLength, 4, this);
  UDwn_FlashRWBlock = new TUpDown(QStringLiteral("UDwn_FlashRWBlock"), this);
  UDwn_FlashRWPage = new TUpDown(QStringLiteral("UDwn_FlashRWPage"), this);
  UDwn_FlashRWChunk = new TUpDown(QStringLiteral("UDwn_FlashRWChunk"), this);
  STIC_FlashRWPlane = NewDisplay(QStringLiteral("STIC_FlashRWPlane"), this);
  STIC_FlashRWCH = NewDisplay(QStringLiteral("STIC_FlashRWCH"), this);
  STIC_FlashRWCE = NewDisplay(QStringLiteral("STIC_FlashRWCE"), this);
  UDwn_FlashRWPlane = new TUpDown(QStringLiteral("UDwn_FlashRWPlane"), this);
  UDwn_FlashRWCE = new TUpDown(QStringLiteral("UDwn_FlashRWCE"), this);
  UDwn_FlashRWIntlv = new TUpDown(QStringLiteral("UDwn_FlashRWIntlv"), this);
  EDT_FlashRWOption0 = NewField(QStringLiteral("EDT_FlashRWOption0"), QStringLiteral("00"), 2, 2, this);
  EDT_FlashRWchce = NewField(QStringLiteral("EDT_FlashRWchce"), QStringLiteral("00"), 2, 2, this);
  EDT_FlashRWOption0->setReadOnly(true);
  EDT_FlashRWchce->setReadOnly(true);
  BTN_FlashRWSet = NewButton(QStringLiteral("BTN_FlashRWSet"), QStringLiteral("Set"), this);
  CMBB_FlashRW_Sector = NewSectorCombo("CMBB_FlashRW_Sector", this);

  BTN_FlashRW_Read = NewButton(QStringLiteral("BTN_FlashRW_Read"), QStringLiteral("Read "), this);
  BTN_FlashRW_Write = NewButton(QStringLiteral("BTN_FlashRW_Write"), QStringLiteral("Write"), this);
  BTN_FlashRW_Erase = NewButton(QStringLiteral("BTN_FlashRW_Erase"), QStringLiteral("Erase"), this);
  BTN_FlashRW_OpenFile = NewButton(QStringLiteral("BTN_FlashRW_OpenFile"), QStringLiteral("Open File"), this);
  BTN_FlashRW_FillData = NewButton(QStringLiteral("BTN_FlashRW_FillData"), QStringLiteral("Fill Data"), this);
  EDT_FlashRWFillData = NewField(QStringLiteral("EDT_FlashRWFillData"), QStringLiteral("00"), 2, 2, this);
  CHKB_FlashRW_MPProg = NewCheckBox(QStringLiteral("CHKB_FlashRW_MPProg"), QStringLiteral("Multi-Page Write(D):"), this);
  EDT_FlashRWMutiPageWrite = NewField(QStringLiteral("EDT_FlashRWMutiPageWrite"), QStringLiteral("1"), 4, 4, this);
  CHKB_FlashRW_FileMap = NewCheckBox(QStringLiteral("CHKB_FlashRW_FileMap"), QStringLiteral("File Mapping:"), this);
  EDT_FlashRWFileMappingName = new QLineEdit(this);
  EDT_FlashRWFileMappingName->setObjectName(QStringLiteral("EDT_FlashRWFileMappingName"));
  EDT_FlashRWFileMappingName->setReadOnly(true);
  EDT_FlashRWFileMappingName->setMinimumWidth(260);
  CHKB_FlashClock = NewCheckBox(QStringLiteral("CHKB_FlashClock"), QStringLiteral("Transfer rate(MegaBytes):"), this);
  EDT_FlashClock = NewField(QStringLiteral("EDT_FlashClock"), QStringLiteral("1"), 5, 5, this);

  RawView = new TDumpView(QStringLiteral("Raw:"), QStringLiteral("MM_FlashRW"), QStringLiteral("LB_FlashRWHeader"), this);
  SpareView = new TDumpView(QStringLiteral("Spare:"), QStringLiteral("MM_FlashRW_Spare"),
                            QStringLiteral("LB_FlashRWSpareHeader"), this);
  MM_FlashRW = RawView->Memo();
  MM_FlashRW_Spare = SpareView->Memo();

  BTN_Chunk_ECC = NewButton(QStringLiteral("BTN_Chunk_ECC"), QStringLiteral("ChunkECC"), this);
  BTN_Chunk_ECC->setVisible(false);
  L2PChkBox = NewCheckBox(QStringLiteral("L2PChkBox"), QStringLiteral("LBA:"), this);
  EDT_LBAIn = NewField(QStringLiteral("EDT_LBAIn"), QStringLiteral("N/A"), 10, 10, this);
  BTN_LtoP = NewButton(QStringLiteral("BTN_LtoP"), QStringLiteral("LBA to Physical "), this);
  BTN_Distribution = NewButton(QStringLiteral("BTN_Distribution"), QStringLiteral("Read Distribution"), this);
  EDT_Offset = NewField(QStringLiteral("EDT_Offset"), QStringLiteral("3"), 3, 3, this);
  BTN_Dump_ISP = NewButton(QStringLiteral("BTN_Dump_ISP"), QStringLiteral("DumpISP"), this);
  BTN_Dump_Info = NewButton(QStringLiteral("BTN_Dump_Info"), QStringLiteral("DumpInfo"), this);
  // Their rules: the LBA field and its button follow the LBA box, the box and
  // the distribution follow the drive's code mode; the others are usable.
  const std::pair<QWidget*, bool> others[] = {{BTN_Chunk_ECC, true}, {L2PChkBox, false}, {EDT_LBAIn, false},
                                              {BTN_LtoP, false},     {BTN_Distribution, false}, {EDT_Offset, true},
                                              {BTN_Dump_ISP, true},  {BTN_Dump_Info, true}};
  for (const auto& [control, enabled] : others) {
    unbound_[control] = enabled;
    control->setEnabled(false);
    control->setToolTip(QString::fromLatin1(kNotYetAvailable));
  }

  connect(BTN_FlashRW_Read, &QPushButton::clicked, this, &TFlashRwPage::BTN_FlashRW_ReadClick);
  connect(BTN_FlashRW_Write, &QPushButton::clicked, this, &TFlashRwPage::BTN_FlashRW_WriteClick);
  connect(BTN_FlashRW_Erase, &QPushButton::clicked, this, &TFlashRwPage::BTN_FlashRW_EraseClick);
  connect(BTN_FlashRW_FillData, &QPushButton::clicked, this, &TFlashRwPage::BTN_FlashRW_FillDataClick);
  connect(BTN_FlashRW_OpenFile, &QPushButton::clicked, this, &TFlashRwPage::BTN_FlashRW_OpenFileClick);
  connect(BTN_FlashRWSet, &QPushButton::clicked, this, &TFlashRwPage::BTN_FlashRWSetClick);
  connect(UDwn_FlashRWBlock, &TUpDown::Clicked, this, &TFlashRwPage::UDwn_FlashRWBlockClick);
  connect(UDwn_FlashRWPage, &TUpDown::Clicked, this, &TFlashRwPage::UDwn_FlashRWPageClick);
  connect(UDwn_FlashRWChunk, &TUpDown::Clicked, this, &TFlashRwPage::UDwn_FlashRWChunkClick);
  connect(UDwn_FlashRWCE, &TUpDown::Clicked, this, &TFlashRwPage::UDwn_FlashRWCEClick);
  connect(UDwn_FlashRWIntlv, &TUpDown::Clicked, this, &TFlashRwPage::UDwn_FlashRWIntlvClick);
  connect(UDwn_FlashRWPlane, &TUpDown::Clicked, this, &TFlashRwPage::UDwn_FlashRWPlaneClick);
  // The fill byte is typed in upper case.
  connect(EDT_FlashRWFillData, &QLineEdit::textEdited, this, [this](const QString& text) {
    const QString upper = text.toUpper();
    if (upper == text) return;
    const int at = EDT_FlashRWFillData->cursorPosition();
    EDT_FlashRWFillData->setText(upper);
    EDT_FlashRWFillData->setCursorPosition(at);
  });
  // The arrow keys in the block, page and chunk fields step them.
  for (QLineEdit* field : {EDT_FlashRWBlock, EDT_FlashRWPage, EDT_FlashRWChunk}) field->installEventFilter(this);
}

QWidget* TFlashRwPage::BuildLayout() {
  auto* panel = new QWidget(this);

  auto* address = new QHBoxLayout;
  address->addWidget(Caption("Block:", panel));
  address->addLayout(WithStepper(EDT_FlashRWBlock, UDwn_FlashRWBlock));
  address->addSpacing(8);
  address->addWidget(Caption("Page:", panel));
  address->addLayout(WithStepper(EDT_FlashRWPage, UDwn_FlashRWPage));
  address->addSpacing(8);
  address->addWidget(Caption("Chunk:", panel));
  address->addLayout(WithStepper(EDT_FlashRWChunk, UDwn_FlashRWChunk));
  address->addSpacing(16);
  address->addWidget(Caption("Plane:", panel));
  address->addLayout(WithStepper(STIC_FlashRWPlane, UDwn_FlashRWPlane));
  address->addSpacing(8);
  address->addWidget(Caption("CH:", panel));
  address->addLayout(WithStepper(STIC_FlashRWCH, UDwn_FlashRWCE));
  address->addSpacing(8);
  address->addWidget(Caption("Intlv:", panel));
  address->addLayout(WithStepper(STIC_FlashRWCE, UDwn_FlashRWIntlv));
  address->addSpacing(16);
  address->addWidget(Caption("Option:", panel));
  address->addWidget(EDT_FlashRWOption0);
  address->addWidget(EDT_FlashRWchce);
  address->addWidget(BTN_FlashRWSet);
  address->addSpacing(16);
  address->addWidget(Caption("Sectors:", panel));
  address->addWidget(CMBB_FlashRW_Sector);
  address->addStretch(1);

  auto* commands = new QHBoxLayout;
  commands->addWidget(BTN_FlashRW_Read);
  commands->addWidget(BTN_FlashRW_Write);
  commands->addWidget(BTN_FlashRW_Erase);
  commands->addSpacing(16);
  commands->addWidget(BTN_FlashRW_OpenFile);
  commands->addSpacing(16);
  commands->addWidget(Caption("Fill Data:", panel));
  commands->addWidget(EDT_FlashRWFillData);
  commands->addWidget(BTN_FlashRW_FillData);
  commands->addSpacing(16);
  commands->addWidget(CHKB_FlashRW_MPProg);
  commands->addWidget(EDT_FlashRWMutiPageWrite);
  commands->addSpacing(16);
  commands->addWidget(CHKB_FlashRW_FileMap);
  commands->addWidget(EDT_FlashRWFileMappingName, 1);

  auto* more = new QHBoxLayout;
  more->addWidget(CHKB_FlashClock);
  more->addWidget(EDT_FlashClock);
  more->addSpacing(16);
  more->addWidget(L2PChkBox);
  more->addWidget(EDT_LBAIn);
  more->addWidget(BTN_LtoP);
  more->addSpacing(16);
  more->addWidget(BTN_Distribution);
  more->addWidget(EDT_Offset);
  more->addSpacing(16);
  more->addWidget(BTN_Chunk_ECC);
  more->addWidget(BTN_Dump_ISP);
  more->addWidget(BTN_Dump_Info);
  more->addStretch(1);

  auto* rows = new QVBoxLayout(panel);
  rows->setContentsMargins(0, 0, 0, 4);
  rows->addLayout(address);
  rows->addLayout(commands);
  rows->addLayout(more);
  return panel;
}

FlashRwFields TFlashRwPage::Fields() const {
  FlashRwFields f;
  f.Block = ToStdString(EDT_FlashRWBlock->text());
  f.Page = ToStdString(EDT_FlashRWPage->text());
  f.Chunk = ToStdString(EDT_FlashRWChunk->text());
  f.Option = ToStdString(EDT_FlashRWOption0->text());
  f.ChCe = ToStdString(EDT_FlashRWchce->text());
  f.SectorIndex = CMBB_FlashRW_Sector->currentIndex();
  f.PlaneText = ToStdString(STIC_FlashRWPlane->text());
  f.ChannelText = ToStdString(STIC_FlashRWCH->text());
  f.InterleaveText = ToStdString(STIC_FlashRWCE->text());
  f.MultiPage = CHKB_FlashRW_MPProg->isChecked();
  f.PageCount = ToStdString(EDT_FlashRWMutiPageWrite->text());
  f.FileMapping = CHKB_FlashRW_FileMap->isChecked();
  f.MappingFile = mapping_file_;
  f.FillData = ToStdString(EDT_FlashRWFillData->text());
  f.TransferRate = CHKB_FlashClock->isChecked();
  f.TransferRateText = ToStdString(EDT_FlashClock->text());
  f.LbaMode = L2PChkBox->isChecked();
  f.LbaIn = ToStdString(EDT_LBAIn->text());
  f.DistributionStep = ToStdString(EDT_Offset->text());
  return f;
}

void TFlashRwPage::ShowFields(const FlashRwFields& f) {
  SetText(EDT_FlashRWBlock, f.Block);
  SetText(EDT_FlashRWPage, f.Page);
  SetText(EDT_FlashRWChunk, f.Chunk);
  SetText(EDT_FlashRWOption0, f.Option);
  SetText(EDT_FlashRWchce, f.ChCe);
  SetText(STIC_FlashRWPlane, f.PlaneText);
  SetText(STIC_FlashRWCH, f.ChannelText);
  SetText(STIC_FlashRWCE, f.InterleaveText);
  CHKB_FlashRW_MPProg->setChecked(f.MultiPage);
  SetText(EDT_FlashRWMutiPageWrite, f.PageCount);
  CHKB_FlashRW_FileMap->setChecked(f.FileMapping);
  if (f.MappingFile != mapping_file_) {
    mapping_file_ = f.MappingFile;
    EDT_FlashRWFileMappingName->setText(PathText(mapping_file_));
  }
  SetText(EDT_FlashRWFillData, f.FillData);
  CHKB_FlashClock->setChecked(f.TransferRate);
  SetText(EDT_FlashClock, f.TransferRateText);
  L2PChkBox->setChecked(f.LbaMode);
  SetText(EDT_LBAIn, f.LbaIn);
  SetText(EDT_Offset, f.DistributionStep);
}

void TFlashRwPage::ShowViews(const FlashOutcome& outcome) {
  if (outcome.RawView) RawView->SetDump(*outcome.RawView);
  if (outcome.SpareView) SpareView->SetDump(*outcome.SpareView);
}

FlashOutcome TFlashRwPage::Run(const std::function<FlashOutcome(FlashRwFields&)>& operation) {
  FlashRwFields fields = Fields();
  FlashOutcome outcome = operation(fields);
  ShowFields(fields);
  ShowViews(outcome);
  return outcome;
}

void TFlashRwPage::SetControlEnabled(QWidget* control, bool enabled) {
  auto it = unbound_.find(control);
  if (it != unbound_.end()) {
    it->second = enabled;
    control->setEnabled(false);
    return;
  }
  control->setEnabled(enabled);
}

void TFlashRwPage::BindControl(QWidget* control) {
  auto it = unbound_.find(control);
  if (it == unbound_.end()) return;
  const bool enabled = it->second;
  unbound_.erase(it);
  control->setToolTip(QString());
  control->setEnabled(enabled);
}

bool TFlashRwPage::IsBound(QWidget* control) const { return unbound_.find(control) == unbound_.end(); }

void TFlashRwPage::BTN_FlashRW_ReadClick() {
  Run([this](FlashRwFields& f) { return FlashRwRead(state_, feedback_, f); });
}

void TFlashRwPage::BTN_FlashRW_WriteClick() {
  Run([this](FlashRwFields& f) { return FlashRwWrite(state_, feedback_, f); });
}

void TFlashRwPage::BTN_FlashRW_EraseClick() {
  Run([this](FlashRwFields& f) { return FlashRwErase(state_, feedback_, f); });
}

void TFlashRwPage::BTN_FlashRW_FillDataClick() {
  Run([this](FlashRwFields& f) { return FlashRwFillData(state_, f); });
}

void TFlashRwPage::BTN_FlashRW_OpenFileClick() {
  const std::filesystem::path file = ChooseImageFile();
  Run([this, &file](FlashRwFields& f) { return FlashRwOpenFile(state_, f, file); });
}

void TFlashRwPage::BTN_FlashRWSetClick() {
  Run([this](FlashRwFields& f) { return FlashRwSet(state_, feedback_, f, settings_dialog_); });
}

void TFlashRwPage::Step(FlashRwStepper stepper, bool up) {
  const StepDirection direction = up ? StepDirection::kUp : StepDirection::kDown;
  Run([this, stepper, direction](FlashRwFields& f) { return FlashRwStep(state_, feedback_, f, stepper, direction); });
}

void TFlashRwPage::UDwn_FlashRWBlockClick(bool up) { Step(FlashRwStepper::kBlock, up); }
void TFlashRwPage::UDwn_FlashRWPageClick(bool up) { Step(FlashRwStepper::kPage, up); }
void TFlashRwPage::UDwn_FlashRWChunkClick(bool up) { Step(FlashRwStepper::kChunk, up); }
void TFlashRwPage::UDwn_FlashRWCEClick(bool up) { Step(FlashRwStepper::kChannel, up); }
void TFlashRwPage::UDwn_FlashRWIntlvClick(bool up) { Step(FlashRwStepper::kInterleave, up); }
void TFlashRwPage::UDwn_FlashRWPlaneClick(bool up) { Step(FlashRwStepper::kPlane, up); }

void TFlashRwPage::EnterPage() {
  FlashRwEntry entry;
  Run([this, &entry](FlashRwFields& f) {
    entry = EnterFlashRwPage(state_, feedback_, f);
    return entry.Read;
  });
  SetControlEnabled(L2PChkBox, entry.LbaAndDistributionEnabled);
  SetControlEnabled(BTN_Distribution, entry.LbaAndDistributionEnabled);
  CHKB_FlashClock->setVisible(entry.TransferRateShown);
  EDT_FlashClock->setVisible(entry.TransferRateShown);
}

bool TFlashRwPage::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Up || key == Qt::Key_Down) {
      const bool up = key == Qt::Key_Up;
      if (watched == EDT_FlashRWBlock) {
        UDwn_FlashRWBlockClick(up);
        return true;
      }
      if (watched == EDT_FlashRWPage) {
        UDwn_FlashRWPageClick(up);
        return true;
      }
      if (watched == EDT_FlashRWChunk) {
        UDwn_FlashRWChunkClick(up);
        return true;
      }
    }
  }
  return QWidget::eventFilter(watched, event);
}

std::filesystem::path TFlashRwPage::ChooseImageFile() {
  if (open_file_) return open_file_();
  QFileDialog dialog(this);
  dialog.setObjectName(QStringLiteral("FileOpenDialog"));
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilters({QStringLiteral("bin (*.bin)"), QStringLiteral("*.* (*)")});
  dialog.setDefaultSuffix(QStringLiteral("bin"));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return ToPath(dialog.selectedFiles().first());
}

}  // namespace dozered
