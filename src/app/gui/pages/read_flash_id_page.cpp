#include "app/gui/pages/read_flash_id_page.h"

#include "app/page_table.h"

namespace dozered {

TReadFlashIdPage::TReadFlashIdPage(QWidget* parent)
    : InfoPage(kPageReadFlashId, QStringLiteral("MM_ReadFlashID"), QStringLiteral("LV_ReadFlashID"), {600}, parent),
      MM_ReadFlashID(Memo()),
      LV_ReadFlashID(List()) {
  ShowRawView(true);
}

}  // namespace dozered
