#include "app/gui/pages/read_flash_id_page.h"

namespace dozered {

TReadFlashIdPage::TReadFlashIdPage(QWidget* parent)
    : InfoPage(QStringLiteral("MM_ReadFlashID"), QStringLiteral("LV_ReadFlashID"), {{"Item", 600}}, parent),
      MM_ReadFlashID(Memo()),
      LV_ReadFlashID(List()) {
  ShowRawView(true);
}

}  // namespace dozered
