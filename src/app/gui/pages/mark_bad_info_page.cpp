#include "app/gui/pages/mark_bad_info_page.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "app/page_table.h"

namespace dozered {

TMarkBadInfoPage::TMarkBadInfoPage(QWidget* parent)
    : InfoPage(kPageMarkBadInfo, QString(), QStringLiteral("LV_MarkBadInfo"), {80, 80, 120, 50, 70, 60, 140},
               parent),
      LV_MarkBadInfo(List()) {
  EDT_TtlMarkBadCount = new QLineEdit(this);
  EDT_TtlMarkBadCount->setObjectName(QStringLiteral("EDT_TtlMarkBadCount"));
  EDT_TtlMarkBadCount->setReadOnly(true);
  EDT_TtlMarkBadCount->setFixedWidth(100);
  auto* label = new QLabel(QStringLiteral("Total:"), this);
  label->setBuddy(EDT_TtlMarkBadCount);
  auto* row = new QHBoxLayout;
  row->addWidget(label);
  row->addWidget(EDT_TtlMarkBadCount);
  row->addStretch(1);
  PageLayout()->addLayout(row);
}

}  // namespace dozered
