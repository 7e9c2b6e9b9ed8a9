// A Feedback that keeps what an operation reported, for tests.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "app/feedback.h"

namespace dozered::testing {

struct RecordedMessageBox {
  std::string text;
  std::string caption;
  MessageIcon icon = MessageIcon::Information;
  bool operator==(const RecordedMessageBox&) const = default;
};

inline void PrintTo(const RecordedMessageBox& box, std::ostream* os) {
  *os << "{\"" << box.text << "\", \"" << box.caption << "\", icon " << static_cast<int>(box.icon)
      << "}";
}

class RecordingFeedback : public Feedback {
 public:
  void ReportStatus(const std::string& text) override { reported.push_back(text); }
  void ShowStatus(const std::string& text) override { shown.push_back(text); }
  void MessageBox(const std::string& text, const std::string& caption, MessageIcon icon) override {
    boxes.push_back({text, caption, icon});
  }
  void Progress(int, int) override {}
  void ProcessPendingEvents() override { ++pendingEventRuns; }
  bool CancelRequested() override { return false; }

  std::vector<std::string> reported;
  std::vector<std::string> shown;
  std::vector<RecordedMessageBox> boxes;
  int pendingEventRuns = 0;
};

}  // namespace dozered::testing
