#include "cli/cli_feedback.h"

#include <cstdio>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "cli/interrupt.h"

namespace dozered::cli {
namespace {

// A message box's text on one line.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return text;
}

}  // namespace

bool StandardErrorIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(STDERR_FILENO) != 0;
#endif
}

const char* IconName(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Warning: return "warning";
    case MessageIcon::Error: return "error";
    case MessageIcon::Information: break;
  }
  return "information";
}

void CliFeedback::ReportStatus(const std::string& text) { Status(text); }

void CliFeedback::ShowStatus(const std::string& text) { Status(text); }

void CliFeedback::Status(const std::string& text) {
  messages_.push_back({CliMessage::Kind::kStatus, text, std::string(), MessageIcon::Information});
  last_status_ = text;
  if (options_.err != nullptr && options_.echoStatus) {
    EndProgressLine();
    *options_.err << text << '\n';
  }
}

void CliFeedback::MessageBox(const std::string& text, const std::string& caption, MessageIcon icon) {
  messages_.push_back({CliMessage::Kind::kMessageBox, text, caption, icon});
  if (options_.err != nullptr) {
    EndProgressLine();
    *options_.err << caption << ": " << OneLine(text) << '\n';
  }
}

void CliFeedback::Warn(const std::string& text) {
  if (options_.err == nullptr) return;
  EndProgressLine();
  *options_.err << "Warning: " << OneLine(text) << '\n';
}

void CliFeedback::Progress(int maximum, int position) {
  if (options_.err == nullptr || !options_.progress || maximum <= 0) return;
  const long long percent = static_cast<long long>(position) * 100 / maximum;
  if (percent == progress_percent_) return;
  progress_percent_ = static_cast<int>(percent);
  char line[64];
  std::snprintf(line, sizeof line, "\r%d / %d (%d%%)   ", position, maximum, progress_percent_);
  *options_.err << line << std::flush;
  progress_shown_ = true;
}

bool CliFeedback::CancelRequested() { return InterruptRequested(); }

void CliFeedback::RunEnded() { EndProgressLine(); }

void CliFeedback::EndProgressLine() {
  if (!progress_shown_) return;
  *options_.err << '\n';
  progress_shown_ = false;
  progress_percent_ = -1;
}

}  // namespace dozered::cli
