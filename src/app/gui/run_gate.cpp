#include "app/gui/run_gate.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QWidget>

namespace dozered {
namespace {

// What a user does to start something: clicks, keys, the wheel, shortcuts,
// context menus, touch and pen input.
bool IsUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::Drop:
      return true;
    default:
      return false;
  }
}

}  // namespace

RunGate::RunGate(QObject* parent) : QObject(parent) {}

RunGate::~RunGate() { SetRunOpen(false); }

void RunGate::Guard(QWidget* window) { guarded_.emplace_back(window); }

void RunGate::AllowDuringRun(QWidget* control) { allowed_.emplace_back(control); }

void RunGate::SetRunOpen(bool open) {
  if (open == run_open_ || qApp == nullptr) return;
  run_open_ = open;
  if (open) {
    qApp->installEventFilter(this);
  } else {
    qApp->removeEventFilter(this);
  }
}

bool RunGate::Refused(QObject* receiver) const {
  QWidget* widget = qobject_cast<QWidget*>(receiver);
  if (widget == nullptr) {
    // A shortcut of a menu action reaches the action, not a widget.
    auto* action = qobject_cast<QAction*>(receiver);
    if (action == nullptr) return false;
    widget = qobject_cast<QWidget*>(action->parent());
    if (widget == nullptr) return true;
  }
  for (const QPointer<QWidget>& control : allowed_) {
    if (control && (control == widget || control->isAncestorOf(widget))) return false;
  }
  const QWidget* window = widget->window();
  for (const QPointer<QWidget>& guarded : guarded_) {
    if (guarded && (guarded == window || guarded->isAncestorOf(window))) return true;
  }
  return false;
}

bool RunGate::eventFilter(QObject* watched, QEvent* event) {
  if (run_open_ && IsUserInput(event->type()) && Refused(watched)) {
    event->accept();
    return true;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace dozered
