// The "Read Flash ID" page: the card-information record as a dump. Its list exists but stays hidden and empty.
#pragma once

#include "app/gui/pages/info_page.h"

namespace dozered {

class TReadFlashIdPage : public InfoPage {
  Q_OBJECT

 public:
  explicit TReadFlashIdPage(QWidget* parent = nullptr);

  QPlainTextEdit* const MM_ReadFlashID;
  QTreeView* const LV_ReadFlashID;
};

}  // namespace dozered
