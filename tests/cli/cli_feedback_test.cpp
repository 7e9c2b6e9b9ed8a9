// The headless Feedback: where messages and progress go, and Ctrl-C as
// "Cancel" between the steps of a run.
#include "cli/cli_feedback.h"

#include <gtest/gtest.h>

#include <csignal>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/interrupt.h"
#include "cli/output.h"
#include "cli/run.h"
#include "cli/work_folder.h"

namespace dozered::cli {
namespace {

TEST(CliFeedbackTest, MessagesAreKeptAndProgressIsDrawnOnlyOnATerminal) {
  struct Case {
    bool echoStatus;
    bool progress;
    const char* expected;  // standard error
  } cases[] = {
      {false, false, "Warning: ROM Code Mode Device!\n"},
      {true, false, "Read SMART data successful\nWarning: ROM Code Mode Device!\n"},
      {false, true, "\r1 / 4 (25%)   \r4 / 4 (100%)   \nWarning: ROM Code Mode Device!\n"},
  };
  for (const Case& c : cases) {
    std::ostringstream err;
    CliFeedback feedback({&err, c.echoStatus, c.progress});
    {
      RunScope run(feedback);
      feedback.ReportStatus("Read SMART data successful");
      feedback.Progress(4, 1);
      feedback.Progress(4, 1);  // no new line for the same position
      feedback.Progress(4, 4);
      feedback.MessageBox("ROM Code Mode Device!", "Warning", MessageIcon::Warning);
    }
    EXPECT_EQ(err.str(), c.expected);
    ASSERT_EQ(feedback.Messages().size(), 2u);
    EXPECT_EQ(feedback.Messages()[0].kind, CliMessage::Kind::kStatus);
    EXPECT_EQ(feedback.Messages()[1].caption, "Warning");
    EXPECT_EQ(feedback.LastStatus(), "Read SMART data successful");
  }
}

// Ctrl-C does not end the process: it becomes the run's cancel request.
TEST(CliFeedbackTest, CtrlCBecomesTheCancelRequest) {
  InstallInterruptHandler();
  ClearInterrupt();
  CliFeedback feedback({nullptr, false, false});
  EXPECT_FALSE(feedback.CancelRequested());
  std::raise(SIGINT);
  EXPECT_TRUE(feedback.CancelRequested());
  ClearInterrupt();
  EXPECT_FALSE(feedback.CancelRequested());
}

// A Ctrl-C during the scan stops the run before the command sends anything.
TEST(CliFeedbackTest, ACancelDuringTheScanEndsTheRunBeforeTheCommand) {
  const testing::WorkFolder folder;
  const std::string drives = (folder.Dir() / "VirtualDrives.ini").string();
  const char* argv[] = {"dozered-cli", "--drives", drives.c_str(), "--json", "read", "smart-data"};
  std::ostringstream out;
  std::ostringstream err;
  RequestInterrupt();
  const int exitCode = RunCli(6, argv, out, err, DOZERED_BESIDE_EXE_DIR);
  ClearInterrupt();
  EXPECT_EQ(exitCode, kExitCancelled);
  const nlohmann::json doc = nlohmann::json::parse(out.str());
  EXPECT_EQ(doc["exit_code"], kExitCancelled);
  EXPECT_TRUE(doc["result"].is_null());
  EXPECT_FALSE(doc.contains("page")) << "the page was not read";
  for (const auto& message : doc["messages"]) EXPECT_NE(message["text"], "Read SMART data successful");
}

}  // namespace
}  // namespace dozered::cli
