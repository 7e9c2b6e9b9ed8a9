#include "app/gui/pages/error_log_page.h"

#include "app/page_table.h"

namespace dozered {

TErrorLogPage::TErrorLogPage(QWidget* parent)
    : InfoPage(kPageErrorLog, QStringLiteral("MM_ReadErrorLog"), QStringLiteral("LV_ReadErrorLog"), {260, 160}, parent),
      MM_ReadErrorLog(Memo()),
      LV_ReadErrorLog(List()) {}

}  // namespace dozered
