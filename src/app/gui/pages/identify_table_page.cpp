#include "app/gui/pages/identify_table_page.h"

namespace dozered {

TIdentifyTablePage::TIdentifyTablePage(QWidget* parent)
    : InfoPage(QStringLiteral("MM_IdentifyTable"), QStringLiteral("LV_IdentifyTable"), {{"Item", kFitToContents}, {"Description", 400}}, parent),
      MM_IdentifyTable(Memo()),
      LV_IdentifyTable(List()) {}

}  // namespace dozered
