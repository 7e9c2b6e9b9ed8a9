#include "flash/gui/l2p_page.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/gui/qt_text.h"

namespace dozered {

TL2pPage::TL2pPage(AppState& state, Feedback& feedback, QWidget* parent)
    : QWidget(parent), state_(state), feedback_(feedback) {
  setObjectName(QStringLiteral("L2pPage"));
  EDT_L2P_LBA = new QLineEdit(QStringLiteral("0"), this);
  EDT_L2P_LBA->setObjectName(QStringLiteral("EDT_L2P_LBA"));
  EDT_L2P_LBA->setMaxLength(static_cast<int>(kLbaFieldChars));
  EDT_L2P_LBA->setFont(FixedPitchFont());
  EDT_L2P_LBA->setFixedWidth(QFontMetrics(EDT_L2P_LBA->font()).horizontalAdvance(QLatin1Char('0')) * 11 + 14);
  BTN_L2P = new QPushButton(QStringLiteral("L2P Mapping"), this);
  BTN_L2P->setObjectName(QStringLiteral("BTN_L2P"));
  LV_L2P = new QTableWidget(0, 2, this);
  LV_L2P->setObjectName(QStringLiteral("LV_L2P"));
  LV_L2P->setHorizontalHeaderLabels({QStringLiteral("Item"), QStringLiteral("Data")});
  LV_L2P->verticalHeader()->setVisible(false);
  LV_L2P->setShowGrid(true);
  LV_L2P->setSelectionBehavior(QAbstractItemView::SelectRows);
  LV_L2P->setEditTriggers(QAbstractItemView::NoEditTriggers);
  LV_L2P->horizontalHeader()->setStretchLastSection(true);
  LV_L2P->setColumnWidth(0, 160);

  auto* top = new QHBoxLayout;
  top->addWidget(new QLabel(QStringLiteral("LBA(D):"), this));
  top->addWidget(EDT_L2P_LBA);
  top->addWidget(BTN_L2P);
  top->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(top);
  layout->addWidget(LV_L2P, 1);

  connect(BTN_L2P, &QPushButton::clicked, this, &TL2pPage::BTN_L2PClick);
}

void TL2pPage::ClearList() { LV_L2P->setRowCount(0); }

void TL2pPage::ShowRows(const std::vector<L2pRow>& rows) {
  LV_L2P->setRowCount(static_cast<int>(rows.size()));
  for (size_t i = 0; i < rows.size(); ++i) {
    const int row = static_cast<int>(i);
    LV_L2P->setItem(row, 0, new QTableWidgetItem(ToQString(rows[i].Item)));
    LV_L2P->setItem(row, 1, new QTableWidgetItem(ToQString(rows[i].Data)));
  }
}

void TL2pPage::BTN_L2PClick() {
  ClearList();
  const L2pOutcome out = TranslateLbaForList(state_, feedback_, ToStdString(EDT_L2P_LBA->text()));
  ShowRows(out.Rows);
}

}  // namespace dozered
