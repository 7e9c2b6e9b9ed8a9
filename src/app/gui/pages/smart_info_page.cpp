#include "app/gui/pages/smart_info_page.h"

namespace dozered {

TSmartInfoPage::TSmartInfoPage(QWidget* parent)
    : InfoPage(QStringLiteral("MM_SmartInfo"), QStringLiteral("LV_SmartInfo"), {{"ID", 320}, {"Current", 90}, {"Worst", 90}, {"Raw data", 200}}, parent),
      MM_SmartInfo(Memo()),
      LV_SmartInfo(List()) {}

}  // namespace dozered
