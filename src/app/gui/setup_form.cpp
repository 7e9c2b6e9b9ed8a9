#include "app/gui/setup_form.h"

namespace dozered {

TSetupForm::TSetupForm(AppState& state, QWidget* parent) : QDialog(parent), state_(state) {
  setObjectName(QStringLiteral("SetupForm"));
  setWindowTitle(QStringLiteral("Setup"));
}

}  // namespace dozered
