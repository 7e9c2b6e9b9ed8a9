// What every operation of the flash pages shares: how it ends, the busy
// rule, the status-line rule and the dump text of its views.
//
// An operation is plain code over AppState and Feedback; a page (or the
// headless front end) hands it the texts of its fields and shows what comes
// back. The pattern:
//
//   FlashOutcome ReadSomething(AppState& state, Feedback& feedback, ...) {
//     FlashOutcome out;
//     FlashRun run(state, feedback);     // busy from here to every return
//     if (!run.Controller()) return out; // no drive selected: nothing else
//     int32_t r = run.Controller()->ReadFlash(...);
//     if (r != kResultSuccess) {
//       Report(feedback, out, FlashStatus::kFailed, FailText("Read flash fail(%d)", r, run), r);
//       return out;
//     }
//     out.RawView = DumpLines(state, bytes);
//     Report(feedback, out, FlashStatus::kDone, "Read flash successful");
//     return out;
//   }
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "app/app_state.h"
#include "app/code_loading.h"  // kErrorCaption, kMessageCaption
#include "app/feedback.h"

namespace dozered {

inline constexpr char kFlashWaitingText[] = "Waitting......";

// How an operation ended.
enum class FlashStatus {
  kNothing,  // nothing was sent: no drive selected, a dialog cancelled, or an operation without a command
  kDone,     // done; its commands, if any, succeeded
  kFailed,   // a command failed (Result holds its code), or a file or the drive could not be used
  kRefused,  // a field did not convert, or the run was refused; nothing was sent
};

// What an operation leaves for the page: the status, the status-line text,
// and the new texts of the two views (nothing: the view stays as it was;
// an empty text empties it). The texts are dump lines without the header
// line, each ending in CR LF.
struct FlashOutcome {
  FlashStatus Status = FlashStatus::kNothing;
  int32_t Result = 0;   // the code of the command that failed; 0 otherwise
  std::string Message;  // what the status line was given ("" for nothing)
  std::optional<std::string> RawView;    // MM_FlashRW
  std::optional<std::string> SpareView;  // MM_FlashRW_Spare
};

// The busy rule: while an operation that talks to the drive runs, nothing
// else may start. A FlashRun holds the run of `feedback` open from its
// construction to the end of its scope, on every way out, and picks the
// selected drive's controller as the current one.
class FlashRun {
 public:
  FlashRun(AppState& state, Feedback& feedback);
  FlashRun(const FlashRun&) = delete;
  FlashRun& operator=(const FlashRun&) = delete;

  // The selected drive's controller (also CurrentController); nullptr when
  // no drive is selected, and the operation then does nothing else.
  VE4810VO* Controller() const { return controller_; }

 private:
  RunScope scope_;
  VE4810VO* controller_ = nullptr;
};

// The status-line rule: the outcome takes `status`, `message` and `result`,
// and the message is reported (the status line shows it and clears itself
// two seconds later).
void Report(Feedback& feedback, FlashOutcome& out, FlashStatus status, std::string message,
            int32_t result = 0);

// Holds the drive open for the commands of one run (Open(true)) and closes it
// on every way out; IsOpen() says whether the open succeeded.
class OpenDrive {
 public:
  explicit OpenDrive(VE4810VO& controller) : controller_(controller), open_(controller.Open(true)) {}
  ~OpenDrive() {
    if (open_) controller_.Close();
  }
  OpenDrive(const OpenDrive&) = delete;
  OpenDrive& operator=(const OpenDrive&) = delete;
  bool IsOpen() const { return open_; }

 private:
  VE4810VO& controller_;
  bool open_;
};

// A failure text such as "Read flash fail(%d)" filled with `code`; for the
// codes after which the drive may hold vendor data at the command address,
// the note that says so follows.
std::string FailText(const char* format, int32_t code, const VE4810VO& controller);
// `message` with that note added when `code` has one.
std::string WithResultNote(std::string message, int32_t code, const VE4810VO& controller);

// The hex dump lines of `bytes` without the column-header line (the views
// carry the header in a fixed caption above them), built in DumpTextBuffer.
std::string DumpLines(AppState& state, std::span<const uint8_t> bytes);

// The card information record of the selected drive (empty when none is).
std::span<const uint8_t> SelectedCardInfo(const AppState& state);

}  // namespace dozered
