// The "Identify Table" page: the drive's IDENTIFY data as a dump and as named lines.
#pragma once

#include "app/gui/pages/info_page.h"

namespace dozered {

class TIdentifyTablePage : public InfoPage {
  Q_OBJECT

 public:
  explicit TIdentifyTablePage(QWidget* parent = nullptr);

  QPlainTextEdit* const MM_IdentifyTable;
  QTreeView* const LV_IdentifyTable;
};

}  // namespace dozered
