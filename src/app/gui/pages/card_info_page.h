// The "Card Info" page: the card-information record as a dump and as lines.
#pragma once

#include "app/gui/pages/info_page.h"

namespace dozered {

class TCardInfoPage : public InfoPage {
  Q_OBJECT

 public:
  explicit TCardInfoPage(QWidget* parent = nullptr);

  QPlainTextEdit* const MM_CardInfo;
  QTreeView* const LV_CardInfo;
};

}  // namespace dozered
