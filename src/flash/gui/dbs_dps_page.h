// The "DBS / DPS" page: block and page scans.
#pragma once

#include <QWidget>

class QComboBox;

namespace dozered {

struct AppState;

class TDbsDpsPage : public QWidget {
  Q_OBJECT

 public:
  explicit TDbsDpsPage(AppState& state, QWidget* parent = nullptr);

  QComboBox* CMBB_DBS_Sector = nullptr;

 private:
  AppState& state_;
};

}  // namespace dozered
