#include "app/gui/pages/smart_info_page.h"

#include "app/page_table.h"

namespace dozered {

TSmartInfoPage::TSmartInfoPage(QWidget* parent)
    : InfoPage(kPageSmartInfo, QStringLiteral("MM_SmartInfo"), QStringLiteral("LV_SmartInfo"), {320, 90, 90, 200}, parent),
      MM_SmartInfo(Memo()),
      LV_SmartInfo(List()) {}

}  // namespace dozered
