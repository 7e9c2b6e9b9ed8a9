// The "L2P mapping" page (TS_L2P): the ten values of the controller's
// translation of one LBA. The page only binds its controls to
// TranslateLbaForList (flash/lba_translation.h) and lists what it returns.
#pragma once

#include <QWidget>
#include <vector>

#include "app/app_state.h"
#include "app/feedback.h"
#include "flash/lba_translation.h"

class QLineEdit;
class QPushButton;
class QTableWidget;

namespace dozered {

class TL2pPage : public QWidget {
  Q_OBJECT

 public:
  TL2pPage(AppState& state, Feedback& feedback, QWidget* parent = nullptr);

  QLineEdit* EDT_L2P_LBA = nullptr;
  QPushButton* BTN_L2P = nullptr;
  QTableWidget* LV_L2P = nullptr;

  // Empties LV_L2P (the Flash RW translation does so too).
  void ClearList();
  void ShowRows(const std::vector<L2pRow>& rows);

 public slots:
  void BTN_L2PClick();

 private:
  AppState& state_;
  Feedback& feedback_;
};

}  // namespace dozered
