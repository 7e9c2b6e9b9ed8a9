#include "app/gui/pages/card_info_page.h"

namespace dozered {

TCardInfoPage::TCardInfoPage(QWidget* parent)
    : InfoPage(QStringLiteral("MM_CardInfo"), QStringLiteral("LV_CardInfo"), {{"Item", 600}}, parent),
      MM_CardInfo(Memo()),
      LV_CardInfo(List()) {}

}  // namespace dozered
