// The "Error Log" page: the error log as a dump and its counters.
#pragma once

#include "app/gui/pages/info_page.h"

namespace dozered {

class TErrorLogPage : public InfoPage {
  Q_OBJECT

 public:
  explicit TErrorLogPage(QWidget* parent = nullptr);

  QPlainTextEdit* const MM_ReadErrorLog;
  QTreeView* const LV_ReadErrorLog;
};

}  // namespace dozered
