// An up/down control: two small arrow buttons, one above the other, that
// report which arrow was pressed. It keeps no position of its own; the
// handler decides what a step means. Holding an arrow repeats it.
#pragma once

#include <QWidget>

class QToolButton;

namespace dozered {

class TUpDown : public QWidget {
  Q_OBJECT

 public:
  explicit TUpDown(const QString& name, QWidget* parent = nullptr);

  QToolButton* UpButton() const { return up_; }
  QToolButton* DownButton() const { return down_; }

 signals:
  // An arrow was pressed: true for up.
  void Clicked(bool up);

 private:
  QToolButton* up_ = nullptr;
  QToolButton* down_ = nullptr;
};

}  // namespace dozered
