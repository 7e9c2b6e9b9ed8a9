#include "cli/run.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstring>
#include <utility>

#include "app/device_scan.h"
#include "cli/cli_feedback.h"
#include "cli/commands.h"
#include "cli/interrupt.h"
#include "cli/output.h"
#include "cli/session.h"
#include "decode/text_helpers.h"

namespace dozered::cli {
namespace {

#define DOZERED_CLI_TEXT(x) #x
#define DOZERED_CLI_VERSION(a, b, c) DOZERED_CLI_TEXT(a) "." DOZERED_CLI_TEXT(b) "." DOZERED_CLI_TEXT(c)
constexpr char kVersion[] = DOZERED_CLI_VERSION(DOZERED_VERSION_MAJOR, DOZERED_VERSION_MINOR, DOZERED_VERSION_PATCH);
constexpr char kProgram[] = "dozered-cli";
constexpr char kUsageHint[] = "; run 'dozered-cli --help' for the commands and their options";

// A byte in hexadecimal as the flash pages take it: one or two digits, "0x"
// in front allowed.
bool IsHexByte(const std::string& text) {
  std::string digits = text;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) digits = digits.substr(2);
  if (digits.empty() || digits.size() > 2) return false;
  return std::all_of(digits.begin(), digits.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
}

CLI::Validator HexByte() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        return IsHexByte(text) ? std::string() : "\"" + text + "\" is no byte in hexadecimal (such as 21 or 0x21)";
      },
      "", "hex byte");
}

// A drive's index as 'scan' lists it: 0 to 999.
CLI::Validator DriveIndex() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        const bool digits = !text.empty() && text.size() <= 3 &&
                            std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
        return digits ? std::string() : "\"" + text + "\" is no drive index (0, 1, ... as 'scan' lists the drives)";
      },
      "", "drive index");
}

Json MessagesJson(const CliFeedback& feedback) {
  Json messages = Json::array();
  for (const CliMessage& m : feedback.Messages()) {
    if (m.kind == CliMessage::Kind::kStatus) {
      messages.push_back({{"kind", "status"}, {"text", m.text}});
    } else {
      messages.push_back({{"kind", "message_box"}, {"caption", m.caption}, {"icon", IconName(m.icon)}, {"text", m.text}});
    }
  }
  return messages;
}

// The document of a run (output.h).
Json Document(const char* command, const Session* session, bool withDrive, const CliFeedback& feedback,
              const CommandResult& result) {
  Json doc = Json::object();
  doc["format_version"] = kFormatVersion;
  doc["program"] = kProgram;
  doc["version"] = kVersion;
  doc["command"] = command != nullptr ? Json(command) : Json(nullptr);
  doc["drive"] = session != nullptr && withDrive ? session->DriveJson(session->State().SelectedDevice) : Json(nullptr);
  if (session != nullptr) {
    doc["flash_option"] = session->State().FlashOption;
    doc["flash_chce"] = session->State().FlashChCe;
  } else {
    doc["flash_option"] = nullptr;
    doc["flash_chce"] = nullptr;
  }
  doc["result"] = result.result ? Json(*result.result) : Json(nullptr);
  doc["exit_code"] = result.exitCode;
  if (result.exitCode != kExitSuccess) doc["error"] = result.error;
  doc["notes"] = session != nullptr ? Json(session->Notes()) : Json::array();
  doc["messages"] = MessagesJson(feedback);
  for (const auto& [key, value] : result.fields.items()) doc[key] = value;
  return doc;
}

int Finish(const CommandResult& result, const Json* document, std::ostream& out, std::ostream& err) {
  if (document != nullptr) {
    out << document->dump(2) << '\n';
  } else {
    for (const std::string& line : result.text) out << line << '\n';
  }
  out.flush();
  if (result.exitCode != kExitSuccess && !result.error.empty()) err << kProgram << ": " << result.error << '\n';
  return result.exitCode;
}

}  // namespace

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
           const std::filesystem::path& executableDir) {
  GlobalOptions options;
  std::string option_text;
  std::string chce_text;
  CLI::App app{
      "dozered-cli: the Dozered tool without a window. Finds the drives that carry the VE4810VO controller and "
      "runs the window's operations on one of them; prints their text, or one JSON document with --json.",
      kProgram};
  app.set_version_flag("--version", std::string(kProgram) + " " + kVersion);
  app.fallthrough();
  app.require_subcommand(1, 1);
  app.add_option("--drives", options.drivesFile,
                 "Work on the simulated drives that FILE (a VirtualDrives.ini) declares instead of the system's drives")
      ->check(CLI::ExistingFile.description(""))
      ->type_name("FILE");
  app.add_option("--drive", options.drive, "The drive to work on: its index in the list 'scan' prints (default 0)")
      ->check(DriveIndex())
      ->type_name("N");
  app.add_flag("--json", options.json, "Print one JSON document instead of text");
  app.add_flag("--redact", options.redact, "Blank the drives' serial numbers in everything printed");
  app.add_flag("-v,--verbose", options.verbose, "Write the window's status texts to standard error too");
  app.add_option("--option", option_text, "The flash option byte FlashOption in hexadecimal (default 21)")
      ->check(HexByte())
      ->type_name("HEX");
  app.add_option("--chce", chce_text, "The channel / chip-enable byte FlashChCe in hexadecimal (default 00)")
      ->check(HexByte())
      ->type_name("HEX");

  std::vector<std::unique_ptr<Command>> commands = AllCommands();
  std::vector<CLI::App*> subcommands;
  // A name of two words ("flash read") is a subcommand of a group command
  // ("flash"), made with the group's first member.
  std::vector<std::pair<std::string, CLI::App*>> groups;
  for (auto& command : commands) {
    const std::string name = command->Name();
    const size_t blank = name.find(' ');
    CLI::App* parent = &app;
    if (blank != std::string::npos) {
      const std::string group = name.substr(0, blank);
      auto found = std::find_if(groups.begin(), groups.end(), [&](const auto& g) { return g.first == group; });
      if (found == groups.end()) {
        CLI::App* made = app.add_subcommand(group, GroupDescription(group));
        made->require_subcommand(1, 1);
        made->fallthrough();
        groups.emplace_back(group, made);
        parent = made;
      } else {
        parent = found->second;
      }
    }
    CLI::App* sub = parent->add_subcommand(name.substr(blank == std::string::npos ? 0 : blank + 1),
                                           command->Description());
    command->AddOptions(*sub);
    subcommands.push_back(sub);
  }

  // Scripts that asked for JSON get a document even when the command line
  // is wrong.
  bool wantsJson = false;
  for (int i = 1; i < argc; ++i) wantsJson = wantsJson || std::strcmp(argv[i], "--json") == 0;
  CliFeedback::Options feedbackOptions;
  feedbackOptions.err = &err;
  CliFeedback quiet(feedbackOptions);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e, out, err);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e, out, err);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e, out, err);
  } catch (const CLI::ParseError& e) {
    const char* command = nullptr;
    for (size_t i = 0; i < subcommands.size(); ++i) {
      if (subcommands[i]->parsed()) command = commands[i]->Name();
    }
    std::string what = e.what();
    // A word that is no command reads better named than as "a subcommand
    // is required".
    std::string names;
    for (size_t i = 0; i < commands.size(); ++i) names += (i ? ", " : "") + std::string(commands[i]->Name());
    const CLI::App* group = nullptr;
    for (const auto& g : groups) {
      if (g.second->parsed()) group = g.second;
    }
    if (command == nullptr && group != nullptr) {
      // "flash" without "read", "write" or "erase".
      std::string members;
      for (const CLI::App* member : group->get_subcommands({})) {
        members += (members.empty() ? "" : ", ") + member->get_name();
      }
      // The word after the group's name, when it is no member's name.
      std::string word;
      for (int i = 1; i + 1 < argc; ++i) {
        if (argv[i] == group->get_name() && argv[i + 1][0] != '-') {
          word = argv[i + 1];
          break;
        }
      }
      what = word.empty() ? group->get_name() + " needs one of " + members
                          : "\"" + word + "\" is no " + group->get_name() + " command; give one of " + members;
    } else if (command == nullptr && !app.remaining().empty()) {
      what = "\"" + app.remaining().front() + "\" is no command; the commands are " + names;
    } else if (command == nullptr && what.find("subcommand") != std::string::npos) {
      what = "a command is needed: " + names;
    }
    const CommandResult failed = Failure(kExitUsage, what + std::string(kUsageHint));
    if (wantsJson) {
      const Json doc = Document(command, nullptr, false, quiet, failed);
      return Finish(failed, &doc, out, err);
    }
    return Finish(failed, nullptr, out, err);
  }

  Command* command = nullptr;
  for (size_t i = 0; i < subcommands.size(); ++i) {
    if (subcommands[i]->parsed()) command = commands[i].get();
  }
  if (const std::string wrong = command->CheckUsage(); !wrong.empty()) {
    const CommandResult failed = Failure(kExitUsage, wrong + std::string(kUsageHint));
    if (wantsJson) {
      const Json doc = Document(command->Name(), nullptr, false, quiet, failed);
      return Finish(failed, &doc, out, err);
    }
    return Finish(failed, nullptr, out, err);
  }
  if (!option_text.empty()) options.flashOption = static_cast<uint8_t>(ParseHex(option_text, option_text.size()));
  if (!chce_text.empty()) options.flashChCe = static_cast<uint8_t>(ParseHex(chce_text, chce_text.size()));

  feedbackOptions.echoStatus = options.verbose;
  feedbackOptions.progress = StandardErrorIsTerminal();
  CliFeedback feedback(feedbackOptions);
  Session session(options, feedback, executableDir);

  CommandResult result;
  bool withDrive = false;
  session.Start();
  if (InterruptRequested()) {
    result = Failure(kExitCancelled, "stopped by Ctrl-C after the device scan; nothing else was sent to a drive");
  } else if (session.DriveCount() == 0 && command->NeedsDrive()) {
    result = Failure(kExitNoDrive, NoDriveText(session.State()) +
                                       "; attach a drive with the VE4810VO controller and run as administrator or "
                                       "root, or name simulated drives with --drives FILE");
  } else if (command->NeedsDrive() && !session.Select(options.drive)) {
    result = Failure(kExitNoDrive, "there is no drive " + std::to_string(options.drive) + ": the scan found " +
                                       std::to_string(session.DriveCount()) + " (0 to " +
                                       std::to_string(session.DriveCount() - 1) +
                                       "); list them with 'dozered-cli scan'");
  } else {
    withDrive = command->NeedsDrive();
    result = command->Run(session);
    // A run that Ctrl-C stopped between its steps ends as "Cancel" leaves it
    // (what it did is in the output), but the exit code says it was cut short.
    if (InterruptRequested() && result.exitCode == kExitSuccess) {
      result.exitCode = kExitCancelled;
      result.error = "stopped by Ctrl-C between two steps; the output holds what was done before, run the command "
                     "again for the rest";
    }
    if (!command->NeedsDrive() && session.DriveCount() == 0 && result.exitCode == kExitSuccess) {
      result.exitCode = kExitNoDrive;
      result.error = NoDriveText(session.State()) +
                     "; attach a drive with the VE4810VO controller and run as administrator or root, or name "
                     "simulated drives with --drives FILE";
    }
  }
  if (options.json) {
    const Json doc = Document(command->Name(), &session, withDrive, feedback, result);
    return Finish(result, &doc, out, err);
  }
  return Finish(result, nullptr, out, err);
}

}  // namespace dozered::cli
