#include "flash/gui/chunk_ecc_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/gui/qt_text.h"

namespace dozered {
namespace {

QLineEdit* NewField(const QString& name, int maxLength, QWidget* parent) {
  auto* field = new QLineEdit(QStringLiteral("0000"), parent);
  field->setObjectName(name);
  field->setMaxLength(maxLength);
  field->setFont(FixedPitchFont());
  const QFontMetrics metrics(field->font());
  field->setFixedWidth(metrics.horizontalAdvance(QLatin1Char('0')) * 4 + 14);
  return field;
}

// A selection box of the numbers 0 to items - 1 that starts without a selection.
QComboBox* NewSelection(const QString& name, int items, QWidget* parent) {
  auto* box = new QComboBox(parent);
  box->setObjectName(name);
  for (int i = 0; i < items; ++i) box->addItem(QString::number(i));
  box->setCurrentIndex(-1);
  return box;
}

QLabel* Caption(const char* text, QWidget* parent) { return new QLabel(QString::fromLatin1(text), parent); }

// The memo shows lines with plain line feeds.
QString MemoText(const std::string& text) {
  QString shown = ToQString(text);
  shown.remove(QLatin1Char('\r'));
  return shown;
}

}  // namespace

TChunkEccPage::TChunkEccPage(AppState& state, Feedback& feedback, QWidget* parent)
    : QWidget(parent), state_(state), feedback_(feedback) {
  setObjectName(QStringLiteral("ChunkEccPage"));
  GB_EccCheck = new QGroupBox(QStringLiteral("ECC Check"), this);
  GB_EccCheck->setObjectName(QStringLiteral("GB_EccCheck"));
  EDT_ChunkECC_StartBlock = NewField(QStringLiteral("EDT_ChunkECC_StartBlock"), 4, GB_EccCheck);
  EDT_ChunkECC_EndBlock = NewField(QStringLiteral("EDT_ChunkECC_EndBlock"), 4, GB_EccCheck);
  EDT_ChunkECC_StartPage = NewField(QStringLiteral("EDT_ChunkECC_StartPage"), 3, GB_EccCheck);
  EDT_ChunkECC_EndPage = NewField(QStringLiteral("EDT_ChunkECC_EndPage"), 3, GB_EccCheck);
  CMBB_ChunkECC_CE = NewSelection(QStringLiteral("CMBB_ChunkECC_CE"), kChunkEccCeItems, GB_EccCheck);
  CMBB_ChunkECC_CH = NewSelection(QStringLiteral("CMBB_ChunkECC_CH"), kChunkEccChItems, GB_EccCheck);
  CHKB_CunkECC_DisOrphan = new QCheckBox(QStringLiteral("Disable Use Orphan Table"), GB_EccCheck);
  CHKB_CunkECC_DisOrphan->setObjectName(QStringLiteral("CHKB_CunkECC_DisOrphan"));
  BTN_ChunkECC = new QPushButton(QStringLiteral("Chunk ECC"), GB_EccCheck);
  BTN_ChunkECC->setObjectName(QStringLiteral("BTN_ChunkECC"));
  MM_ChunkECC = new QPlainTextEdit(this);
  MM_ChunkECC->setObjectName(QStringLiteral("MM_ChunkECC"));
  MM_ChunkECC->setReadOnly(true);
  MM_ChunkECC->setFont(FixedPitchFont());
  MM_ChunkECC->setLineWrapMode(QPlainTextEdit::NoWrap);
  MM_ChunkECC->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  MM_ChunkECC->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

  // Start and End above their fields, "(Hex)" beside them.
  auto* range = new QGridLayout;
  range->addWidget(Caption("Start", GB_EccCheck), 0, 1);
  range->addWidget(Caption("End", GB_EccCheck), 0, 2);
  range->addWidget(Caption("Block:", GB_EccCheck), 1, 0);
  range->addWidget(EDT_ChunkECC_StartBlock, 1, 1);
  range->addWidget(EDT_ChunkECC_EndBlock, 1, 2);
  range->addWidget(Caption("(Hex)", GB_EccCheck), 1, 3);
  range->addWidget(Caption("Page:", GB_EccCheck), 2, 0);
  range->addWidget(EDT_ChunkECC_StartPage, 2, 1);
  range->addWidget(EDT_ChunkECC_EndPage, 2, 2);
  range->addWidget(Caption("(Hex)", GB_EccCheck), 2, 3);
  auto* target = new QHBoxLayout;
  target->addWidget(Caption("CE:", GB_EccCheck));
  target->addWidget(CMBB_ChunkECC_CE);
  target->addSpacing(12);
  target->addWidget(Caption("CH:", GB_EccCheck));
  target->addWidget(CMBB_ChunkECC_CH);
  target->addStretch(1);
  auto* group = new QVBoxLayout(GB_EccCheck);
  group->addLayout(range);
  group->addLayout(target);
  group->addWidget(CHKB_CunkECC_DisOrphan);
  group->addWidget(BTN_ChunkECC);
  group->addStretch(1);

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(GB_EccCheck, 0);
  layout->addWidget(MM_ChunkECC, 1);

  connect(BTN_ChunkECC, &QPushButton::clicked, this, &TChunkEccPage::BTN_ChunkECCClick);
}

ChunkEccFields TChunkEccPage::Fields() const {
  ChunkEccFields f;
  f.StartBlock = ToStdString(EDT_ChunkECC_StartBlock->text());
  f.EndBlock = ToStdString(EDT_ChunkECC_EndBlock->text());
  f.StartPage = ToStdString(EDT_ChunkECC_StartPage->text());
  f.EndPage = ToStdString(EDT_ChunkECC_EndPage->text());
  f.Ce = ToStdString(CMBB_ChunkECC_CE->currentText());
  f.Ch = ToStdString(CMBB_ChunkECC_CH->currentText());
  f.DisableOrphan = CHKB_CunkECC_DisOrphan->isChecked();
  return f;
}

void TChunkEccPage::BTN_ChunkECCClick() {
  const FlashOutcome out = RunChunkEccRange(state_, feedback_, Fields());
  if (out.RawView) MM_ChunkECC->setPlainText(MemoText(*out.RawView));
}

}  // namespace dozered
