#include "flash/gui/distribution_form.h"

namespace dozered {

TM_Distribution::TM_Distribution(AppState& state, QWidget* parent)
    : QWidget(parent, Qt::Window), state_(state) {
  setObjectName(QStringLiteral("M_Distribution"));
  setWindowTitle(QStringLiteral("Distribution"));
}

}  // namespace dozered
