#include "app/gui/pages/error_log_page.h"

namespace dozered {

TErrorLogPage::TErrorLogPage(QWidget* parent)
    : InfoPage(QStringLiteral("MM_ReadErrorLog"), QStringLiteral("LV_ReadErrorLog"), {{"Item", 260}, {"Value", 160}}, parent),
      MM_ReadErrorLog(Memo()),
      LV_ReadErrorLog(List()) {}

}  // namespace dozered
