#include "app/gui/pages/cid_option_page.h"

#include "app/page_table.h"

namespace dozered {

TCidOptionPage::TCidOptionPage(QWidget* parent)
    : InfoPage(kPageCidOption, QStringLiteral("MM_CidOption"), QStringLiteral("LV_CidOption"), {600}, parent),
      MM_CidOption(Memo()),
      LV_CidOption(List()) {}

}  // namespace dozered
