#include "app/gui/pages/identify_table_page.h"

#include "app/page_table.h"

namespace dozered {

TIdentifyTablePage::TIdentifyTablePage(QWidget* parent)
    : InfoPage(kPageIdentifyTable, QStringLiteral("MM_IdentifyTable"), QStringLiteral("LV_IdentifyTable"), {kFitToContents, 400}, parent),
      MM_IdentifyTable(Memo()),
      LV_IdentifyTable(List()) {}

}  // namespace dozered
