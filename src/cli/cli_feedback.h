// The Feedback of dozered-cli. What the window shows in its status line and
// message boxes is kept for the output (the JSON document lists it) and
// written to standard error: message boxes always, status texts with
// --verbose. Progress of long runs goes to standard error only when that is
// a terminal, so that logs and pipes stay clean. "Cancel" is Ctrl-C.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "app/feedback.h"

namespace dozered::cli {

struct CliMessage {
  enum class Kind { kStatus, kMessageBox };
  Kind kind = Kind::kStatus;
  std::string text;
  std::string caption;  // message boxes only
  MessageIcon icon = MessageIcon::Information;
};

class CliFeedback : public Feedback {
 public:
  struct Options {
    std::ostream* err = nullptr;  // where messages are written; none: kept only
    bool echoStatus = false;      // status texts too, not only message boxes
    bool progress = false;        // a progress line (standard error is a terminal)
  };

  explicit CliFeedback(Options options) : options_(options) {}

  void ReportStatus(const std::string& text) override;
  void ShowStatus(const std::string& text) override;
  void MessageBox(const std::string& text, const std::string& caption, MessageIcon icon) override;
  void Progress(int maximum, int position) override;
  void ProcessPendingEvents() override {}
  // Ctrl-C (see cli/interrupt.h).
  bool CancelRequested() override;

  // A line for the user on standard error that is not one of the window's
  // messages (warnings about files, notes of a read).
  void Warn(const std::string& text);

  const std::vector<CliMessage>& Messages() const { return messages_; }
  // The last status text ("" when none was given).
  const std::string& LastStatus() const { return last_status_; }

 protected:
  void RunEnded() override;

 private:
  void Status(const std::string& text);
  void EndProgressLine();

  Options options_;
  std::vector<CliMessage> messages_;
  std::string last_status_;
  bool progress_shown_ = false;
  int progress_percent_ = -1;
};

// Whether standard error is a terminal.
bool StandardErrorIsTerminal();

// The icon's name in the output: "information", "warning", "error".
const char* IconName(MessageIcon icon);

}  // namespace dozered::cli
