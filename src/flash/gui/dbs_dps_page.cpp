#include "flash/gui/dbs_dps_page.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "flash/gui/sector_combo.h"

namespace dozered {

TDbsDpsPage::TDbsDpsPage(AppState& state, QWidget* parent) : QWidget(parent), state_(state) {
  setObjectName(QStringLiteral("DbsDpsPage"));
  CMBB_DBS_Sector = NewSectorCombo("CMBB_DBS_Sector", this);

  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel(QStringLiteral("Sectors:"), this));
  row->addWidget(CMBB_DBS_Sector);
  row->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(row);
  layout->addStretch(1);
}

}  // namespace dozered
