// What a command of dozered-cli hands back, and the JSON document of a run.
//
// Every run with --json prints exactly one document on standard output:
//
//   format_version  1; raised when a key changes meaning or goes away
//   program         "dozered-cli"
//   version         the tool's version, "1.3.14"
//   command         the subcommand ("scan", "info", "read", ...); null when
//                   the command line could not be read
//   drive           the drive the command worked on (DriveJson keys), or null
//   flash_option    FlashOption and FlashChCe as numbers (the flash commands
//   flash_chce      use them; --option and --chce set them)
//   result          the result code of the drive's command (0 = success;
//                   the codes of the README's table); null when no command
//                   reached a drive
//   exit_code       the process's exit code
//   error           what went wrong and what to do (only when exit_code != 0)
//   notes           start-up notes about configuration files
//   messages        the window's status texts and message boxes, in order:
//                   {"kind": "status", "text"} or
//                   {"kind": "message_box", "caption", "icon", "text"}
//   ...             then the command's own keys (see commands.h)
//
// Keys are lower case with underscores; a key once given keeps its meaning.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace dozered::cli {

using Json = nlohmann::ordered_json;

inline constexpr int kFormatVersion = 1;

// Exit codes of dozered-cli.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitCommandFailed = 1;  // a command failed on the drive; its result code is in the output
inline constexpr int kExitUsage = 2;          // the command line or a file it names is wrong
inline constexpr int kExitNoDrive = 3;        // no drive with the controller found, or no drive of that index
inline constexpr int kExitCancelled = 130;    // stopped with Ctrl-C before the command ran to its end

struct CommandResult {
  int exitCode = kExitSuccess;
  std::optional<int32_t> result;  // the drive's result code, when a command reached the drive
  std::string error;              // one line: what went wrong and what to do
  std::vector<std::string> text;  // the text output, one entry per line
  Json fields = Json::object();   // the command's own keys of the JSON document
};

// A failed result with its exit code and error line.
CommandResult Failure(int exitCode, std::string error, std::optional<int32_t> result = std::nullopt);

// The lines of a text with "\r\n" or "\n" line ends, without them.
std::vector<std::string> SplitLines(const std::string& text);

// The JSON key for a column caption: lower case, runs of anything but
// letters and digits as one "_" ("Raw data" -> "raw_data").
std::string JsonKey(const std::string& caption);

}  // namespace dozered::cli
