// dump isp | dump info: "Dump ISP" and "Dump Info" of the Flash Diagnosis
// page. The date-named folder ("DumpISP_MMDD_NNNN", "DumpInfo_MMDD_NNNN") is
// made in --folder (default: the working directory).
//
// Text: the folder made, then the final status line. JSON keys:
//   status, message   as the flash commands
//   folder         the folder the files went into ("" when none was made)
//   files_written  the number of files created (also those ended early)
#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "cli/flash_options.h"
#include "cli/session.h"
#include "flash/code_dump.h"

namespace dozered::cli {
namespace {

class DumpCommand : public Command {
 public:
  explicit DumpCommand(DumpKind kind) : kind_(kind) {}
  const char* Name() const override { return kind_ == DumpKind::kIsp ? "dump isp" : "dump info"; }
  const char* Description() const override {
    return kind_ == DumpKind::kIsp ? "Dump the controller's code area into a new DumpISP_MMDD_NNNN folder"
                                   : "Dump the controller's information area into a new DumpInfo_MMDD_NNNN folder";
  }

  void AddOptions(CLI::App& command) override {
    command.add_option("--folder", folder_, "The folder the dump's folder is made in (default: the working directory)");
  }

  CommandResult Run(Session& session) override {
    DumpPlace place;
    place.Base = folder_;
    const DumpOutcome dump = DumpControllerArea(session.State(), session.Feedback(), kind_, place);
    CommandResult out;
    out.fields["folder"] = dump.Folder.string();
    out.fields["files_written"] = dump.FilesWritten;
    if (!dump.Folder.empty()) out.text.push_back(dump.Folder.string());
    if (!dump.Message.empty()) out.text.push_back(dump.Message);
    if (dump.Status == FlashStatus::kFailed && dump.Result == kDumpFileFailure) {
      // Nothing failed on the drive: a file or the folder could not be made.
      std::string message = dump.Message.empty() ? std::string(kind_ == DumpKind::kIsp ? kDumpIspFailText
                                                                                        : kDumpInfoFailText)
                                                 : dump.Message;
      for (const CliMessage& m : session.Feedback().Messages()) {
        if (m.kind == CliMessage::Kind::kMessageBox && m.icon == MessageIcon::Error) message = m.text;
      }
      CommandResult failure = Failure(kExitCommandFailed, message + "; check that --folder can be written");
      failure.text = std::move(out.text);
      failure.fields = std::move(out.fields);
      failure.fields["status"] = StatusName(dump.Status);
      failure.fields["message"] = dump.Message;
      return failure;
    }
    return FlashStatusResult(session, dump.Status, dump.Result, dump.Message, std::move(out));
  }

 private:
  DumpKind kind_;
  std::string folder_;
};

}  // namespace

std::unique_ptr<Command> MakeDumpIspCommand() { return std::make_unique<DumpCommand>(DumpKind::kIsp); }
std::unique_ptr<Command> MakeDumpInfoCommand() { return std::make_unique<DumpCommand>(DumpKind::kInfo); }

}  // namespace dozered::cli
