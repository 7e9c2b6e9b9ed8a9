// The window side of the busy rule (see app/feedback.h): while a run is open,
// user input to the tool's windows is refused, except to the controls that
// cancel the run. Dialogs the run itself raises (message boxes, file
// dialogs) take input as usual, and painting, timers and resizing go on.
#pragma once

#include <QObject>
#include <QPointer>
#include <vector>

class QWidget;

namespace dozered {

class RunGate : public QObject {
  Q_OBJECT

 public:
  explicit RunGate(QObject* parent = nullptr);
  ~RunGate() override;

  // A window whose controls are refused while a run is open.
  void Guard(QWidget* window);
  // A control (with its children) that stays usable during a run: "Cancel".
  void AllowDuringRun(QWidget* control);

  // Whether a run is open: set when the outermost run begins and when it ends.
  void SetRunOpen(bool open);
  bool RunOpen() const { return run_open_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool Refused(QObject* receiver) const;

  std::vector<QPointer<QWidget>> guarded_;
  std::vector<QPointer<QWidget>> allowed_;
  bool run_open_ = false;
};

}  // namespace dozered
