#include "flash/gui/up_down.h"

#include <QToolButton>
#include <QVBoxLayout>

namespace dozered {
namespace {

constexpr int kArrowWidth = 16;
constexpr int kArrowHeight = 11;
constexpr int kRepeatDelayMs = 400;
constexpr int kRepeatIntervalMs = 120;

QToolButton* NewArrow(Qt::ArrowType arrow, const QString& name, QWidget* parent) {
  auto* button = new QToolButton(parent);
  button->setObjectName(name);
  button->setArrowType(arrow);
  button->setFixedSize(kArrowWidth, kArrowHeight);
  button->setFocusPolicy(Qt::NoFocus);
  button->setAutoRepeat(true);
  button->setAutoRepeatDelay(kRepeatDelayMs);
  button->setAutoRepeatInterval(kRepeatIntervalMs);
  return button;
}

}  // namespace

TUpDown::TUpDown(const QString& name, QWidget* parent) : QWidget(parent) {
  setObjectName(name);
  up_ = NewArrow(Qt::UpArrow, name + QStringLiteral("_Up"), this);
  down_ = NewArrow(Qt::DownArrow, name + QStringLiteral("_Down"), this);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(up_);
  layout->addWidget(down_);
  connect(up_, &QToolButton::clicked, this, [this] { emit Clicked(true); });
  connect(down_, &QToolButton::clicked, this, [this] { emit Clicked(false); });
}

}  // namespace dozered
