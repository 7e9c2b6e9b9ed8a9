#include "app/gui/pages/erase_count_page.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/page_table.h"

namespace dozered {

TEraseCountPage::TEraseCountPage(QWidget* parent)
    : InfoPage(kPageEraseCount, QStringLiteral("MM_EraseCount"), QStringLiteral("LV_EraseCount"), {120, 120},
               parent),
      MM_EraseCount(Memo()),
      LV_EraseCount(List()) {
  BTN_SaveEraseCnt = new QPushButton(QStringLiteral("Save Erase Count"), this);
  BTN_SaveEraseCnt->setObjectName(QStringLiteral("BTN_SaveEraseCnt"));
  BTN_ShowAnalyze = new QPushButton(QStringLiteral("Show Analyze"), this);
  BTN_ShowAnalyze->setObjectName(QStringLiteral("BTN_ShowAnalyze"));
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(BTN_SaveEraseCnt);
  buttons->addWidget(BTN_ShowAnalyze);
  buttons->addStretch(1);
  PageLayout()->addLayout(buttons);
}

}  // namespace dozered
