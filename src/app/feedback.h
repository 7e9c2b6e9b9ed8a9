// How operations talk back to whoever runs them. The main window implements
// it with its status label, clear timer, message boxes and progress bar;
// tests and headless front ends implement it with a recorder.
//
// Runs. Device I/O runs on the thread of the window, and a long run lets the
// window repaint by turning the event loop (ProcessPendingEvents). While a run
// is open nothing else may start: the window refuses every control but
// "Cancel", so that a queued click cannot start a rescan, a page change or
// another command in the middle of the run's sector accesses. Every
// operation that reads or writes a drive or turns the event loop opens a run
// for its whole length with a RunScope:
//
//   int32_t ScanBlocks(AppState& state, Feedback& feedback, ...) {
//     RunScope run(feedback);
//     for (...) {
//       if (feedback.CancelRequested()) return ...;
//       ...
//       feedback.ProcessPendingEvents();
//     }
//   }
//
// Runs nest: a page read inside a device scan belongs to the scan's run, and
// the run ends when the outermost scope closes, on every way out. Closing the
// window during a run asks the run to cancel; the window closes once the run
// has ended. A headless front end has no other handlers, so the scope only
// marks the run there.
#pragma once

#include <string>

namespace dozered {

enum class MessageIcon { Information, Warning, Error };

class Feedback {
 public:
  virtual ~Feedback() = default;

  // Sets the status line and starts the 2 s clear timer ("report").
  virtual void ReportStatus(const std::string& text) = 0;
  // Sets the status line only ("show"); the text stays until the next one.
  virtual void ShowStatus(const std::string& text) = 0;
  // A modal message box with the given caption and icon.
  virtual void MessageBox(const std::string& text, const std::string& caption, MessageIcon icon) = 0;
  // The progress bar: maximum and position.
  virtual void Progress(int maximum, int position) = 0;
  // Lets the window repaint at the points the operation names.
  virtual void ProcessPendingEvents() = 0;
  // True once the user asked the running operation to stop.
  virtual bool CancelRequested() = 0;

  // The run scope; use RunScope rather than these two.
  void BeginRun() {
    if (run_depth_++ == 0) RunStarted();
  }
  void EndRun() {
    if (run_depth_ > 0 && --run_depth_ == 0) RunEnded();
  }
  bool RunOpen() const { return run_depth_ > 0; }

 protected:
  // The outermost run begins or has ended.
  virtual void RunStarted() {}
  virtual void RunEnded() {}

 private:
  int run_depth_ = 0;
};

// Holds a run open from its construction to the end of its scope.
class RunScope {
 public:
  explicit RunScope(Feedback& feedback) : feedback_(feedback) { feedback_.BeginRun(); }
  ~RunScope() { feedback_.EndRun(); }
  RunScope(const RunScope&) = delete;
  RunScope& operator=(const RunScope&) = delete;

 private:
  Feedback& feedback_;
};

}  // namespace dozered
