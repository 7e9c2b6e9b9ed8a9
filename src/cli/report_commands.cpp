// save-info | erase-count export: the report files of the "Save Info" menu
// and of the Erase Count page's "Save Erase Count".
//
// save-info makes the log folder "LogInfoRB_MMDD_NNNN" in the working
// directory, as the window does. Text: the folder, then one line per file
// written; a failed log ends with exit code 1 and its status line as the
// error line. JSON keys:
//   status         "saved", "failed" or "nothing"
//   message        the final status line
//   folder         the log folder's name
//   files_written  [file names inside the folder]
//   files_not_written  [file names]
//   pages_not_saved    [page indexes whose read failed]
//
// erase-count export --output FILE writes the erase-count text to FILE.
// Text: the file written. JSON keys:
//   status   "saved", "failed" or "nothing"
//   message  the status line
//   file     the file written (absent when none was)
#include <CLI/CLI.hpp>
#include <filesystem>

#include "cli/commands.h"
#include "cli/session.h"
#include "protocol/result_codes.h"
#include "reports/save_info.h"
#include "reports/save_operations.h"

namespace dozered::cli {
namespace {

const char* SaveInfoStatusName(SaveInfoStatus status) {
  switch (status) {
    case SaveInfoStatus::kSaved: return "saved";
    case SaveInfoStatus::kFailed: return "failed";
    case SaveInfoStatus::kNothing: break;
  }
  return "nothing";
}

const char* SaveStatusName(SaveStatus status) {
  switch (status) {
    case SaveStatus::kSaved: return "saved";
    case SaveStatus::kFailed: return "failed";
    case SaveStatus::kNothing: break;
  }
  return "nothing";
}

// A failure that keeps the keys and text gathered so far.
CommandResult FailureWith(CommandResult out, CommandResult failure) {
  failure.text = std::move(out.text);
  failure.fields.update(out.fields);
  return failure;
}

class SaveInfoCommand : public Command {
 public:
  const char* Name() const override { return "save-info"; }
  const char* Description() const override {
    return "Save the log folder of the drive (LogInfoRB_MMDD_NNNN in the working directory), as \"Save Info\" does";
  }

  CommandResult Run(Session& session) override {
    const SaveInfoOutcome saved =
        SaveInfo(session.State(), session.Feedback(), TodayLocalDate(), DefaultSaveInfoHooks());
    CommandResult out;
    out.fields["status"] = SaveInfoStatusName(saved.Status);
    out.fields["message"] = saved.Message;
    out.fields["folder"] = saved.Folder;
    out.fields["files_written"] = saved.Files.Written;
    out.fields["files_not_written"] = saved.Files.NotWritten;
    out.fields["pages_not_saved"] = saved.PagesNotSaved;
    if (!saved.Folder.empty()) out.text.push_back(saved.Folder);
    for (const std::string& file : saved.Files.Written) out.text.push_back(saved.Folder + "/" + file);
    if (saved.Status == SaveInfoStatus::kSaved) {
      out.result = kResultSuccess;
      return out;
    }
    const std::string message = saved.Message.empty() ? std::string(kSaveLogFailText) : saved.Message;
    return FailureWith(std::move(out), Failure(kExitCommandFailed, message + " on " +
                                                                       session.DriveText(session.State().SelectedDevice)));
  }
};

class EraseCountExportCommand : public Command {
 public:
  const char* Name() const override { return "erase-count export"; }
  const char* Description() const override {
    return "Write the erase counts of the drive to --output FILE, as \"Save Erase Count\" does";
  }

  void AddOptions(CLI::App& command) override {
    command.add_option("--output", output_, "The text file written")->required();
  }

  CommandResult Run(Session& session) override {
    const std::filesystem::path file = output_;
    const SaveOutcome saved = SaveEraseCount(session.State(), session.Feedback(),
                                             [&file](const std::string&) { return file; });
    CommandResult out;
    out.fields["status"] = SaveStatusName(saved.Status);
    out.fields["message"] = saved.Message;
    if (!saved.Files.empty()) {
      out.fields["file"] = saved.Files.front().string();
      out.text.push_back(saved.Files.front().string());
    }
    if (saved.Status == SaveStatus::kSaved) {
      out.result = kResultSuccess;
      return out;
    }
    if (saved.Result != 0) return FailureWith(std::move(out), DriveFailure(session, saved.Message, saved.Result));
    // Nothing read failed: the file could not be written.
    const std::string message = saved.Message.empty() ? "nothing saved" : saved.Message;
    return FailureWith(std::move(out), Failure(kExitUsage, message + "; check that --output names a file that can be written"));
  }

 private:
  std::string output_;
};

}  // namespace

std::unique_ptr<Command> MakeEraseCountExportCommand() { return std::make_unique<EraseCountExportCommand>(); }
std::unique_ptr<Command> MakeSaveInfoCommand() { return std::make_unique<SaveInfoCommand>(); }

}  // namespace dozered::cli
