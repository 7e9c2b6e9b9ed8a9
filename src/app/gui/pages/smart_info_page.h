// The "Smart Info" page: the SMART data as a dump and one line per attribute.
#pragma once

#include "app/gui/pages/info_page.h"

namespace dozered {

class TSmartInfoPage : public InfoPage {
  Q_OBJECT

 public:
  explicit TSmartInfoPage(QWidget* parent = nullptr);

  QPlainTextEdit* const MM_SmartInfo;
  QTreeView* const LV_SmartInfo;
};

}  // namespace dozered
