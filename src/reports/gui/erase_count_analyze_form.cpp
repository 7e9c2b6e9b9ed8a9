#include "reports/gui/erase_count_analyze_form.h"

namespace dozered {

TMEraseCount_Analyze::TMEraseCount_Analyze(AppState& state, QWidget* parent)
    : QWidget(parent, Qt::Window), state_(state) {
  setObjectName(QStringLiteral("MEraseCount_Analyze"));
  setWindowTitle(QStringLiteral("Erase Count Analyze"));
}

}  // namespace dozered
