// The "Mark Bad Info" page: the blocks the controller marked bad, one line per
// failure, and the number of entries.
#pragma once

#include "app/gui/pages/info_page.h"

class QLineEdit;

namespace dozered {

class TMarkBadInfoPage : public InfoPage {
  Q_OBJECT

 public:
  explicit TMarkBadInfoPage(QWidget* parent = nullptr);

  QTreeView* const LV_MarkBadInfo;
  QLineEdit* EDT_TtlMarkBadCount = nullptr;
};

}  // namespace dozered
