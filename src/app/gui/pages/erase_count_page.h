// The "Erase Count" page: the erase-count table as a dump and one line per
// block, with the buttons of the erase-count export and analysis.
#pragma once

#include "app/gui/pages/info_page.h"

class QPushButton;

namespace dozered {

class TEraseCountPage : public InfoPage {
  Q_OBJECT

 public:
  explicit TEraseCountPage(QWidget* parent = nullptr);

  QPlainTextEdit* const MM_EraseCount;
  QTreeView* const LV_EraseCount;
  QPushButton* BTN_SaveEraseCnt = nullptr;
  QPushButton* BTN_ShowAnalyze = nullptr;
};

}  // namespace dozered
