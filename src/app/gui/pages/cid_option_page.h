// The "CID Option" page: the CID block as a dump and as lines.
#pragma once

#include "app/gui/pages/info_page.h"

namespace dozered {

class TCidOptionPage : public InfoPage {
  Q_OBJECT

 public:
  explicit TCidOptionPage(QWidget* parent = nullptr);

  QPlainTextEdit* const MM_CidOption;
  QTreeView* const LV_CidOption;
};

}  // namespace dozered
