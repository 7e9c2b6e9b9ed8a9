#include "app/gui/pages/card_info_page.h"

#include "app/page_table.h"

namespace dozered {

TCardInfoPage::TCardInfoPage(QWidget* parent)
    : InfoPage(kPageCardInfo, QStringLiteral("MM_CardInfo"), QStringLiteral("LV_CardInfo"), {600}, parent),
      MM_CardInfo(Memo()),
      LV_CardInfo(List()) {}

}  // namespace dozered
