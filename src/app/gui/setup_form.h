// The settings dialog of the flash options.
#pragma once

#include <QDialog>

namespace dozered {

struct AppState;

class TSetupForm : public QDialog {
  Q_OBJECT

 public:
  explicit TSetupForm(AppState& state, QWidget* parent = nullptr);

 private:
  AppState& state_;
};

}  // namespace dozered
