// The read-level distribution chart window.
#pragma once

#include <QWidget>

namespace dozered {

struct AppState;

class TM_Distribution : public QWidget {
  Q_OBJECT

 public:
  explicit TM_Distribution(AppState& state, QWidget* parent = nullptr);

 private:
  AppState& state_;
};

}  // namespace dozered
