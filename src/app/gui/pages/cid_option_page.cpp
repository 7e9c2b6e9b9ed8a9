#include "app/gui/pages/cid_option_page.h"

namespace dozered {

TCidOptionPage::TCidOptionPage(QWidget* parent)
    : InfoPage(QStringLiteral("MM_CidOption"), QStringLiteral("LV_CidOption"), {{"Item", 600}}, parent),
      MM_CidOption(Memo()),
      LV_CidOption(List()) {}

}  // namespace dozered
