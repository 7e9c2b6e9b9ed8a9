#include "app/gui/setup_form.h"

#include <QApplication>
#include <QBoxLayout>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpressionValidator>

#include "app/app_state.h"
#include "app/gui/radio_group.h"

namespace dozered {

namespace {

constexpr int kClientWidth = 718;
constexpr int kClientHeight = 368;

const QStringList kDisableEnable = {QStringLiteral("Disable"), QStringLiteral("Enable")};

QStringList NumberItems(int count) {
  QStringList items;
  for (int i = 0; i < count; ++i) items << QString::asprintf("%d", i);
  return items;
}

// An editable selection box of one character. Channel and interleave take any
// typed digit (a digit above the list carries into the next field, as the
// bytes are built); the plane box takes only the digits of its items, since
// its field has two bits and nothing above it in the byte.
QComboBox* NewSelectionBox(const QString& name, int itemCount, const QString& digits, QWidget* parent) {
  auto* box = new QComboBox(parent);
  box->setObjectName(name);
  box->setEditable(true);
  box->setInsertPolicy(QComboBox::NoInsert);
  box->lineEdit()->setMaxLength(1);
  box->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[%1]?").arg(digits)), box));
  box->addItems(NumberItems(itemCount));
  return box;
}

QGroupBox* Framed(const QString& caption, QWidget* inner, QWidget* parent) {
  auto* group = new QGroupBox(caption, parent);
  auto* layout = new QVBoxLayout(group);
  layout->setContentsMargins(8, 4, 8, 6);
  layout->addWidget(inner);
  return group;
}

RadioGroup* NewRadioGroup(const QString& name, const QString& caption, const QStringList& items,
                          Qt::Orientation orientation, QWidget* parent) {
  auto* group = new RadioGroup(caption, items, orientation, parent);
  group->setObjectName(name);
  return group;
}

}  // namespace

TSetupForm::TSetupForm(AppState& state, QWidget* parent) : QDialog(parent), state_(state) {
  setObjectName(QStringLiteral("SetupForm"));
  setWindowTitle(QStringLiteral("Setting"));
  setModal(true);
  BuildControls();
  setFixedSize(kClientWidth, kClientHeight);
  LoadSettings();
}

void TSetupForm::BuildControls() {
  CMBB_IntlvOddA = NewSelectionBox(QStringLiteral("CMBB_IntlvOddA"), kIntlvOddAItemCount, QStringLiteral("0-9"), this);
  CMBB_ChannelSelectin =
      NewSelectionBox(QStringLiteral("CMBB_ChannelSelectin"), kChannelSelectinItemCount, QStringLiteral("0-9"), this);
  CMBB_PlaneSwitch =
      NewSelectionBox(QStringLiteral("CMBB_PlaneSwitch"), kPlaneSwitchItemCount, QStringLiteral("0-3"), this);

  RG_StrongPage = NewRadioGroup(QStringLiteral("RG_StrongPage"), QStringLiteral("Strong Page"), kDisableEnable,
                                Qt::Horizontal, this);
  RG_ReadSpr =
      NewRadioGroup(QStringLiteral("RG_ReadSpr"), QStringLiteral("Read Spare"), kDisableEnable, Qt::Horizontal, this);
  RG_PlaneMode = NewRadioGroup(QStringLiteral("RG_PlaneMode"), QStringLiteral("Plane Mode"),
                               {QStringLiteral("Force one plane"), QStringLiteral("M plane operation")}, Qt::Vertical,
                               this);
  RG_EccModeSwitch = NewRadioGroup(QStringLiteral("RG_EccModeSwitch"), QStringLiteral("ECC mode Switch"),
                                   kDisableEnable, Qt::Horizontal, this);
  RG_Scramble =
      NewRadioGroup(QStringLiteral("RG_Scramble"), QStringLiteral("Scramble"), kDisableEnable, Qt::Horizontal, this);
  RG_TlcReadRetry = NewRadioGroup(QStringLiteral("RG_TlcReadRetry"), QStringLiteral("Read Retry"), kDisableEnable,
                                  Qt::Horizontal, this);
  RG_EnMaxECC = NewRadioGroup(QStringLiteral("RG_EnMaxECC"), QStringLiteral("Enable Max ECC"), kDisableEnable,
                              Qt::Horizontal, this);

  BTN_Ok = new QPushButton(QStringLiteral("OK"), this);
  BTN_Ok->setObjectName(QStringLiteral("BTN_Ok"));
  BTN_Canel = new QPushButton(QStringLiteral("Cancel"), this);
  BTN_Canel->setObjectName(QStringLiteral("BTN_Canel"));
  connect(BTN_Ok, &QPushButton::clicked, this, &TSetupForm::BTN_OkClick);
  connect(BTN_Canel, &QPushButton::clicked, this, &TSetupForm::BTN_CanelClick);

  auto* left = new QVBoxLayout;
  left->addWidget(Framed(QStringLiteral("IntlvOddA"), CMBB_IntlvOddA, this));
  left->addWidget(Framed(QStringLiteral("Channel Selection"), CMBB_ChannelSelectin, this));
  left->addWidget(Framed(QStringLiteral("Plane Switch"), CMBB_PlaneSwitch, this));
  left->addStretch(1);

  auto* middle = new QVBoxLayout;
  middle->setSpacing(8);
  for (QWidget* w : {static_cast<QWidget*>(RG_StrongPage), static_cast<QWidget*>(RG_ReadSpr),
                     static_cast<QWidget*>(RG_PlaneMode), static_cast<QWidget*>(RG_EccModeSwitch),
                     static_cast<QWidget*>(RG_Scramble)}) {
    middle->addWidget(w);
  }
  middle->addStretch(1);

  auto* rightGroups = new QVBoxLayout;
  rightGroups->addWidget(RG_EnMaxECC);
  rightGroups->addWidget(RG_TlcReadRetry);
  rightGroups->addStretch(1);
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(BTN_Ok);
  buttons->addWidget(BTN_Canel);
  buttons->addStretch(1);
  auto* right = new QHBoxLayout;
  right->addLayout(rightGroups, 1);
  right->addLayout(buttons);

  auto* columns = new QHBoxLayout(this);
  columns->setContentsMargins(12, 8, 12, 8);
  columns->setSpacing(16);
  columns->addLayout(left, 3);
  columns->addLayout(middle, 4);
  columns->addLayout(right, 5);
}

void TSetupForm::LoadSettings() {
  SettingsSelection s = SettingsFromBytes(state_.FlashOption, state_.FlashChCe);
  CMBB_IntlvOddA->setCurrentIndex(s.IntlvOddAIndex);
  CMBB_ChannelSelectin->setCurrentIndex(s.ChannelSelectinIndex);
  CMBB_PlaneSwitch->clear();
  CMBB_PlaneSwitch->addItems(NumberItems(kPlaneSwitchItemCount));
  CMBB_PlaneSwitch->setCurrentIndex(s.PlaneSwitchIndex);
  // An item index that is already current does not rewrite a typed text.
  CMBB_IntlvOddA->setEditText(CMBB_IntlvOddA->itemText(s.IntlvOddAIndex));
  CMBB_ChannelSelectin->setEditText(CMBB_ChannelSelectin->itemText(s.ChannelSelectinIndex));
  RG_Scramble->SetItemIndex(s.Controls.Scramble);
  RG_EccModeSwitch->SetItemIndex(s.Controls.EccModeSwitch);
  RG_PlaneMode->SetItemIndex(s.Controls.PlaneMode);
  RG_ReadSpr->SetItemIndex(s.Controls.ReadSpr);
  RG_StrongPage->SetItemIndex(s.Controls.StrongPage);
  RG_TlcReadRetry->SetItemIndex(s.Controls.TlcReadRetry);
  RG_EnMaxECC->SetItemIndex(s.Controls.EnMaxECC);
}

SettingsControls TSetupForm::Controls() const {
  SettingsControls c;
  c.IntlvOddA = CMBB_IntlvOddA->currentText().toStdString();
  c.ChannelSelectin = CMBB_ChannelSelectin->currentText().toStdString();
  c.PlaneSwitch = CMBB_PlaneSwitch->currentText().toStdString();
  c.StrongPage = RG_StrongPage->ItemIndex();
  c.ReadSpr = RG_ReadSpr->ItemIndex();
  c.PlaneMode = RG_PlaneMode->ItemIndex();
  c.EccModeSwitch = RG_EccModeSwitch->ItemIndex();
  c.Scramble = RG_Scramble->ItemIndex();
  c.TlcReadRetry = RG_TlcReadRetry->ItemIndex();
  c.EnMaxECC = RG_EnMaxECC->ItemIndex();
  return c;
}

bool TSetupForm::ApplySettings() {
  SettingsApplyOutcome r = ApplySettingsToBytes(Controls(), state_.FlashOption, state_.FlashChCe);
  if (r.Result != SettingsApplyResult::Ok) {
    ShowConversionError(QStringLiteral("'%1' is not a valid integer value").arg(QString::fromStdString(r.BadText)));
    return false;
  }
  state_.SettingsAccepted = true;
  if (isVisible()) QDialog::accept();
  return true;
}

void TSetupForm::BTN_OkClick() { ApplySettings(); }

void TSetupForm::BTN_CanelClick() { reject(); }

void TSetupForm::reject() {
  state_.SettingsAccepted = false;
  QDialog::reject();
}

void TSetupForm::showEvent(QShowEvent* event) {
  LoadSettings();
  // Centred over the window it is opened from (the main window, which is not
  // its parent as the dialog lives for the whole run).
  QWidget* over = parentWidget() != nullptr ? parentWidget()->window() : QApplication::activeWindow();
  if (over != nullptr && over != this) {
    const QRect frame = frameGeometry();
    move(over->frameGeometry().center() - QPoint(frame.width() / 2, frame.height() / 2));
  }
  QDialog::showEvent(event);
}

void TSetupForm::ShowConversionError(const QString& text) {
  QMessageBox::critical(this, QStringLiteral("Error"), text);
}

}  // namespace dozered
