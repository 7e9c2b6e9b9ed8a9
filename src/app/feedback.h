// How operations talk back to whoever runs them. The main window implements
// it with its status label, clear timer, message boxes and progress bar;
// tests and headless front ends implement it with a recorder.
#pragma once

#include <string>

namespace dozered {

enum class MessageIcon { Information, Warning, Error };

class Feedback {
 public:
  virtual ~Feedback() = default;

  // Sets the status line and starts the 2 s clear timer ("report").
  virtual void ReportStatus(const std::string& text) = 0;
  // Sets the status line only ("show").
  virtual void ShowStatus(const std::string& text) = 0;
  // A modal message box with the given caption and icon.
  virtual void MessageBox(const std::string& text, const std::string& caption, MessageIcon icon) = 0;
  // The progress bar: maximum and position.
  virtual void Progress(int maximum, int position) = 0;
  // Lets the window repaint at the points the operation names.
  virtual void ProcessPendingEvents() = 0;
  // True once the user asked the running operation to stop.
  virtual bool CancelRequested() = 0;
};

}  // namespace dozered
