// The subcommands of dozered-cli. Each is a small class: the options it adds
// to the command line, and a Run that calls the very operation the window
// calls and turns its outcome into text lines and JSON keys.
//
// A new command: a class deriving from Command in a file of its own
// (src/cli/<name>_commands.cpp; flash_options.h has the address options and
// the status rule of the flash pages), a Make function for it declared
// below, and one line in AllCommands(). Its JSON keys are listed at the top
// of its file; a key once given keeps its meaning.
//
// JSON keys of the commands (besides those of every document, output.h):
//   scan        drives: [drive objects, Session::DriveJson]
//   info        lines: [the device information lines], rom_code_mode: bool
//   read        page: {index, name, caption}, status ("read",
//               "read_with_note", "failed"), message (the status text),
//               dump: [lines of the hex dump] (pages with a raw view),
//               columns: [captions], rows: [{<column key>: text, ...}]
//               (pages with a list; keys from the captions, "Raw data" ->
//               "raw_data"), mark_bad_count (Mark Bad Info), temperature
//               (Read Flash ID)
//   load-mpisp  file, outcome ("loaded" or why not), code_mode_before,
//               code_mode_after, lines: [device information afterwards]
//   flash read|write|erase   see flash_commands.cpp
//   distribution             see distribution_commands.cpp
//   dbs, dps                 see block_scan_commands.cpp
//   chunk-ecc, l2p           see ecc_commands.cpp
//   save-info, erase-count export   see report_commands.cpp
//   badblocks                see bad_block_commands.cpp
//   dump isp|info            see dump_commands.cpp
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cli/output.h"

namespace CLI {
class App;
}

namespace dozered::cli {

class Session;

class Command {
 public:
  virtual ~Command() = default;
  virtual const char* Name() const = 0;
  virtual const char* Description() const = 0;
  // Whether the command works on the drive of --drive (selected before Run).
  virtual bool NeedsDrive() const { return true; }
  // Adds the command's own options and arguments to its subcommand.
  virtual void AddOptions(CLI::App& command) { (void)command; }
  // A fault of the command line that its options alone cannot express
  // (checked before the device scan); "" when there is none.
  virtual std::string CheckUsage() const { return std::string(); }
  // Runs on the started session.
  virtual CommandResult Run(Session& session) = 0;
};

// Every command, in the order --help lists them. A name of two words
// ("flash read") makes the command a member of a group ("flash").
std::vector<std::unique_ptr<Command>> AllCommands();

// What --help says about a group of commands.
std::string GroupDescription(const std::string& group);

// The commands of the flash pages (flash_commands.cpp).
std::unique_ptr<Command> MakeFlashReadCommand();
std::unique_ptr<Command> MakeFlashWriteCommand();
std::unique_ptr<Command> MakeFlashEraseCommand();
std::unique_ptr<Command> MakeDistributionCommand();  // distribution_commands.cpp
std::unique_ptr<Command> MakeDbsCommand();           // block_scan_commands.cpp
std::unique_ptr<Command> MakeDpsCommand();
std::unique_ptr<Command> MakeChunkEccCommand();      // ecc_commands.cpp
std::unique_ptr<Command> MakeL2pCommand();
std::unique_ptr<Command> MakeSaveInfoCommand();            // report_commands.cpp
std::unique_ptr<Command> MakeEraseCountExportCommand();
std::unique_ptr<Command> MakeBadBlocksCommand();           // bad_block_commands.cpp
std::unique_ptr<Command> MakeDumpIspCommand();             // dump_commands.cpp
std::unique_ptr<Command> MakeDumpInfoCommand();

// The result of a command that failed on the selected drive: exit code 1,
// the drive's result code, and the error line "<message> on drive N, <list
// entry>; <what to do>".
CommandResult DriveFailure(Session& session, const std::string& message, int32_t result);

// The information pages `read` takes, by the name TabSheet.ini gives them or
// their caption, written in any case with "-", "_" or blanks between words
// ("smart-data", "Smart Info"), or by page index. -1 for anything else.
int InformationPageByName(const std::string& name);
// Their names as `read` lists them: "read-flash-id, identify-table, ...".
std::string InformationPageNames();

// What to do after a command failed with `result` (for the error line).
std::string WhatToDo(int32_t result, uint32_t commandAddress);

}  // namespace dozered::cli
