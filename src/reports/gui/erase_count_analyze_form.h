// The erase-count analysis chart window.
#pragma once

#include <QWidget>

namespace dozered {

struct AppState;

class TMEraseCount_Analyze : public QWidget {
  Q_OBJECT

 public:
  explicit TMEraseCount_Analyze(AppState& state, QWidget* parent = nullptr);

 private:
  AppState& state_;
};

}  // namespace dozered
