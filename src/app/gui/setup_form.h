// The settings dialog "Setting": edits FlashOption and FlashChCe. Created once,
// hidden, and shown modally by the "Set" buttons; the LBA translation runs its
// "OK" action without showing it.
#pragma once

#include <QDialog>

#include "app/settings.h"

class QComboBox;
class QPushButton;

namespace dozered {

struct AppState;
class RadioGroup;

class TSetupForm : public QDialog {
  Q_OBJECT

 public:
  explicit TSetupForm(AppState& state, QWidget* parent = nullptr);

  QComboBox* CMBB_IntlvOddA = nullptr;
  QComboBox* CMBB_ChannelSelectin = nullptr;
  QComboBox* CMBB_PlaneSwitch = nullptr;
  RadioGroup* RG_StrongPage = nullptr;
  RadioGroup* RG_ReadSpr = nullptr;
  RadioGroup* RG_PlaneMode = nullptr;
  RadioGroup* RG_EccModeSwitch = nullptr;
  RadioGroup* RG_Scramble = nullptr;
  RadioGroup* RG_TlcReadRetry = nullptr;
  RadioGroup* RG_EnMaxECC = nullptr;
  QPushButton* BTN_Ok = nullptr;
  QPushButton* BTN_Canel = nullptr;

  // Puts the current bytes into the controls; runs at every showing.
  void LoadSettings();
  // The "OK" action: stores the bytes from the controls, sets SettingsAccepted
  // and closes the dialog. Returns false (dialog left open, an error shown)
  // when a selection box's text is not a decimal number.
  bool ApplySettings();

  // The controls' current state, as the settings logic reads it.
  SettingsControls Controls() const;

 public slots:
  void BTN_OkClick();
  void BTN_CanelClick();
  // Closing by the frame or Escape counts as "Cancel".
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;
  // Shows the conversion error; tests replace it.
  virtual void ShowConversionError(const QString& text);

 private:
  void BuildControls();
  AppState& state_;
};

}  // namespace dozered
