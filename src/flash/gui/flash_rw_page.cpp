#include "flash/gui/flash_rw_page.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "flash/gui/sector_combo.h"

namespace dozered {

TFlashRwPage::TFlashRwPage(AppState& state, QWidget* parent) : QWidget(parent), state_(state) {
  setObjectName(QStringLiteral("FlashRwPage"));
  CMBB_FlashRW_Sector = NewSectorCombo("CMBB_FlashRW_Sector", this);
  BTN_Chunk_ECC = new QPushButton(QStringLiteral("ChunkECC"), this);
  BTN_Chunk_ECC->setObjectName(QStringLiteral("BTN_Chunk_ECC"));
  BTN_Chunk_ECC->setVisible(false);

  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel(QStringLiteral("Sectors:"), this));
  row->addWidget(CMBB_FlashRW_Sector);
  row->addWidget(BTN_Chunk_ECC);
  row->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(row);
  layout->addStretch(1);
}

}  // namespace dozered
