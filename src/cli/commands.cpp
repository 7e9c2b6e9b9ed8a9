#include "cli/commands.h"

#include <CLI/CLI.hpp>
#include <cctype>
#include <filesystem>

#include "app/code_loading.h"
#include "app/device_info.h"
#include "app/device_scan.h"
#include "app/page_read.h"
#include "app/page_table.h"
#include "app/paths.h"
#include "cli/session.h"
#include "protocol/card_info.h"
#include "protocol/result_codes.h"
#include "protocol/result_text.h"

namespace dozered::cli {
namespace {

// A page name as `read` compares it: lower case, words joined by "-".
std::string Slug(const std::string& name) {
  std::string slug;
  bool gap = false;
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (std::isalnum(u)) {
      if (gap && !slug.empty()) slug.push_back('-');
      slug.push_back(static_cast<char>(std::tolower(u)));
      gap = false;
    } else {
      gap = true;
    }
  }
  return slug;
}

bool IsInformationPage(int page) {
  const PageInfo* row = PageRow(page);
  return row != nullptr && row->Reader != PageReader::kNone;
}

// ---------------------------------------------------------------------------

class ScanCommand : public Command {
 public:
  const char* Name() const override { return "scan"; }
  const char* Description() const override {
    return "List the drives that carry the controller: index, list entry (name, port, target), code mode";
  }
  bool NeedsDrive() const override { return false; }

  CommandResult Run(Session& session) override {
    CommandResult out;
    Json drives = Json::array();
    for (int i = 0; i < session.DriveCount(); ++i) {
      const uint8_t mode = session.State().CardInfoTable[i][card_info_offset::kCardMode];
      out.text.push_back(std::to_string(i) + "\t" + session.Entry(i) + "\t" + CodeModeName(mode));
      drives.push_back(session.DriveJson(i));
    }
    out.fields["drives"] = std::move(drives);
    out.result = kResultSuccess;
    return out;
  }
};

class InfoCommand : public Command {
 public:
  const char* Name() const override { return "info"; }
  const char* Description() const override { return "Show the device information of the drive"; }

  CommandResult Run(Session& session) override {
    CommandResult out;
    const DeviceInfo info = SelectedDeviceInfo(session.State());
    out.text = info.lines;
    out.fields["lines"] = info.lines;
    out.fields["rom_code_mode"] = info.romCodeMode;
    out.result = kResultSuccess;
    return out;
  }
};

class ReadCommand : public Command {
 public:
  const char* Name() const override { return "read"; }
  const char* Description() const override {
    return "Read an information page of the drive: its hex dump and its decoded rows";
  }

  void AddOptions(CLI::App& command) override {
    command
        .add_option("page", page_name_, "The page: " + InformationPageNames() + " (or its caption, or its index)")
        ->required()
        ->check(CLI::Validator(
            [](std::string& name) -> std::string {
              if (InformationPageByName(name) >= 0) return std::string();
              return "no information page \"" + name + "\"; the pages are " + InformationPageNames();
            },
            "", "page"))
        ->type_name("PAGE");
    command.add_option("--view", view_, "What to print as text: raw (the dump), decoded (the rows) or both")
        ->check(CLI::IsMember({"raw", "decoded", "both"}))
        ->capture_default_str();
  }

  CommandResult Run(Session& session) override {
    AppState& state = session.State();
    const int page = InformationPageByName(page_name_);
    const PageInfo& info = kPages[static_cast<size_t>(page)];
    const int s = state.SelectedDevice;
    // The pages the window offers for the drive's code mode, whatever
    // TabSheet.ini lists.
    std::array<uint8_t, kPageCount> all{};
    all.fill(1);
    const uint8_t mode = state.CardInfoTable[s][card_info_offset::kCardMode];
    const PageRule rule = PagesForCardMode(mode, all);
    if (!rule.visible[static_cast<size_t>(page)]) {
      std::string offered;
      for (int p = 0; p < kPageCount; ++p) {
        if (rule.visible[static_cast<size_t>(p)] && IsInformationPage(p)) {
          offered += (offered.empty() ? "" : ", ") + Slug(kPages[static_cast<size_t>(p)].TabSheetName);
        }
      }
      return Failure(kExitUsage, std::string(info.TabSheetName) + " is not read from a drive in " + CodeModeName(mode) +
                                     " (" + session.DriveText(s) + "); read one of its pages: " + offered);
    }

    const PageReadOutput read = ReadPageData(state, session.Feedback(), page);
    CommandResult out;
    out.fields["page"] = {{"index", page}, {"name", info.TabSheetName}, {"caption", info.Caption}};
    out.fields["status"] = read.Status == PageReadStatus::kRead          ? "read"
                           : read.Status == PageReadStatus::kReadWithNote ? "read_with_note"
                                                                          : "failed";
    out.fields["message"] = read.Message;
    out.result = read.Result;
    if (read.Status == PageReadStatus::kReadWithNote) session.Feedback().Warn(read.Message);

    const bool raw = view_ != "decoded";
    const bool decoded = view_ != "raw";
    if (read.Dump) {
      const std::vector<std::string> lines = SplitLines(*read.Dump);
      out.fields["dump"] = lines;
      if (raw) out.text = lines;
    }
    if (read.List) {
      const std::span<const char* const> captions = PageListColumns(page);
      Json columns = Json::array();
      for (const char* caption : captions) columns.push_back(caption);
      Json rows = Json::array();
      if (decoded && !out.text.empty()) out.text.push_back(std::string());
      for (const Row& row : *read.List) {
        Json object = Json::object();
        const size_t count = std::max(row.size(), captions.size());
        std::string line;
        for (size_t i = 0; i < count; ++i) {
          const std::string key = i < captions.size() ? JsonKey(captions[i]) : "column_" + std::to_string(i + 1);
          const std::string value = i < row.size() ? row[i] : std::string();
          object[key] = value;
          if (i < row.size()) line += (i == 0 ? "" : "\t") + value;
        }
        rows.push_back(std::move(object));
        if (decoded) out.text.push_back(line);
      }
      out.fields["columns"] = std::move(columns);
      out.fields["rows"] = std::move(rows);
    }
    if (read.MarkBadCount) {
      out.fields["mark_bad_count"] = *read.MarkBadCount;
      if (decoded) out.text.push_back("Total: " + *read.MarkBadCount);
    }
    if (read.Temperature) out.fields["temperature"] = *read.Temperature;

    if (read.Status == PageReadStatus::kFailed) {
      CommandResult failed = DriveFailure(session, read.Message, read.Result);
      failed.fields = std::move(out.fields);
      failed.text = std::move(out.text);
      return failed;
    }
    return out;
  }

 private:
  std::string page_name_;
  std::string view_ = "both";
};

class LoadMpispCommand : public Command {
 public:
  const char* Name() const override { return "load-mpisp"; }
  const char* Description() const override {
    return "Load the MPISP code from FILE into a drive in ROM Code Mode, as \"MP ISP\" does";
  }

  void AddOptions(CLI::App& command) override {
    command.add_option("file", file_, "The MPISP code file (MPISP.bin)")->required()->check(CLI::ExistingFile.description(""))->type_name("FILE");
  }

  CommandResult Run(Session& session) override {
    AppState& state = session.State();
    const int s = state.SelectedDevice;
    const uint8_t before = state.CardInfoTable[s][card_info_offset::kCardMode];
    // "MP ISP" is offered only for a drive in ROM code mode: the load would
    // take a drive under its firmware down to ROM code first.
    if (before != kCardModeRomCode) {
      return Failure(kExitUsage, session.DriveText(s) + " runs in " + CodeModeName(before) +
                                     "; load-mpisp is for a drive in ROM Code Mode");
    }
    const std::filesystem::path path = file_;
    const MpispLoadOutcome outcome = LoadMpisp(state, session.Feedback(), [&] { return path; });
    CommandResult out;
    out.fields["file"] = PathText(path);
    out.fields["outcome"] = OutcomeName(outcome.End);
    out.fields["code_mode_before"] = before;
    out.fields["code_mode_after"] = state.CardInfoTable[s][card_info_offset::kCardMode];
    switch (outcome.End) {
      case MpispLoadEnd::kLoaded:
      case MpispLoadEnd::kAlreadyRunning: {
        session.Feedback().MessageBox(kMpispFinishText, kMessageCaption, MessageIcon::Information);
        const DeviceInfo info = SelectedDeviceInfo(state);
        out.text = info.lines;
        out.fields["lines"] = info.lines;
        out.result = kResultSuccess;
        return out;
      }
      case MpispLoadEnd::kFileUnreadable:
      case MpispLoadEnd::kNoImage: {
        CommandResult failed = Failure(kExitUsage, PathText(path) + (outcome.End == MpispLoadEnd::kNoImage
                                                                         ? " holds no MPISP code image; give an MPISP.bin"
                                                                         : " cannot be read; give a readable MPISP.bin"));
        failed.fields = std::move(out.fields);
        return failed;
      }
      case MpispLoadEnd::kNoDrive:
      case MpispLoadEnd::kNotInRomCodeMode:
      case MpispLoadEnd::kDownloadFailed:
      case MpispLoadEnd::kJumpFailed:
        break;
    }
    const char* what = outcome.End == MpispLoadEnd::kDownloadFailed ? kMpispDownloadFailText
                       : outcome.End == MpispLoadEnd::kJumpFailed   ? kMpispJumpFailText
                                                                    : "The controller did not come to ROM Code Mode";
    char code[32];
    std::snprintf(code, sizeof code, " (%d)", static_cast<int>(outcome.Result));
    CommandResult failed = DriveFailure(session, what + std::string(code), outcome.Result);
    failed.fields = std::move(out.fields);
    return failed;
  }

 private:
  static const char* OutcomeName(MpispLoadEnd end) {
    switch (end) {
      case MpispLoadEnd::kLoaded: return "loaded";
      case MpispLoadEnd::kAlreadyRunning: return "already_running";
      case MpispLoadEnd::kNoDrive: return "no_drive";
      case MpispLoadEnd::kFileUnreadable: return "file_unreadable";
      case MpispLoadEnd::kNoImage: return "no_image";
      case MpispLoadEnd::kNotInRomCodeMode: return "not_in_rom_code_mode";
      case MpispLoadEnd::kDownloadFailed: return "download_failed";
      case MpispLoadEnd::kJumpFailed: return "jump_failed";
    }
    return "";
  }

  std::string file_;
};

}  // namespace

CommandResult DriveFailure(Session& session, const std::string& message, int32_t result) {
  const int s = session.State().SelectedDevice;
  const uint32_t commandAddress = s >= 0 ? session.State().Controllers[s].CommandAddress : 0x55AA;
  return Failure(kExitCommandFailed,
                 message + " on " + session.DriveText(s) + "; " + WhatToDo(result, commandAddress), result);
}

std::vector<std::unique_ptr<Command>> AllCommands() {
  std::vector<std::unique_ptr<Command>> commands;
  commands.push_back(std::make_unique<ScanCommand>());
  commands.push_back(std::make_unique<InfoCommand>());
  commands.push_back(std::make_unique<ReadCommand>());
  commands.push_back(std::make_unique<LoadMpispCommand>());
  commands.push_back(MakeFlashReadCommand());
  commands.push_back(MakeFlashWriteCommand());
  commands.push_back(MakeFlashEraseCommand());
  commands.push_back(MakeDbsCommand());
  commands.push_back(MakeDpsCommand());
  commands.push_back(MakeChunkEccCommand());
  commands.push_back(MakeL2pCommand());
  commands.push_back(MakeDistributionCommand());
  commands.push_back(MakeSaveInfoCommand());
  commands.push_back(MakeEraseCountExportCommand());
  commands.push_back(MakeBadBlocksCommand());
  commands.push_back(MakeDumpIspCommand());
  commands.push_back(MakeDumpInfoCommand());
  return commands;
}

std::string GroupDescription(const std::string& group) {
  if (group == "flash") return "Read, write or erase flash pages of the drive, as the Flash RW page does";
  if (group == "dump") return "Dump the controller's code or information area into files, as the Flash Diagnosis page does";
  if (group == "erase-count") return "Work with the erase counts of the drive, as the Erase Count page does";
  return std::string();
}

int InformationPageByName(const std::string& name) {
  const std::string wanted = Slug(name);
  if (wanted.empty()) return -1;
  if (std::all_of(wanted.begin(), wanted.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    const int page = wanted.size() <= 2 ? std::stoi(wanted) : -1;
    return IsInformationPage(page) ? page : -1;
  }
  for (int page = 0; page < kPageCount; ++page) {
    if (!IsInformationPage(page)) continue;
    const PageInfo& info = kPages[static_cast<size_t>(page)];
    if (wanted == Slug(info.TabSheetName) || wanted == Slug(info.Caption)) return page;
  }
  return -1;
}

std::string InformationPageNames() {
  std::string names;
  for (int page = 0; page < kPageCount; ++page) {
    if (IsInformationPage(page)) names += (names.empty() ? "" : ", ") + Slug(kPages[static_cast<size_t>(page)].TabSheetName);
  }
  return names;
}

std::string WhatToDo(int32_t result, uint32_t commandAddress) {
  if (result == kResultRestoreFailed || result == kResultCommandAddressUnknown) {
    return ResultCodeNote(result, commandAddress) + " Restore that sector from a backup before trusting the drive's data";
  }
  if (result >= kResultUnlockReadAAFailed - 4 && result <= kResultUnlockReadAAFailed) {
    return "check the drive's connection and power, then run the command again";
  }
  switch (result) {
    case kResultDataPhaseFailed:
      return "run the command again; if it fails every time, the drive does not take the command in its code mode";
    case kResultSaveReadFailed: return "the drive cannot read its command address; check the drive";
    case kResultInvalidArgument: return "a fault of the tool; report it with the command you ran";
    case kResultWrongSignature:
      return "the drive does not answer as a VE4810VO controller now; list the drives again with 'dozered-cli scan'";
    case kResultOpenFailed:
      return "run as administrator or root (or in group disk) and close programs that hold the drive";
    case kResultSectorIoFailed: return "check the drive and run the command again";
    default: break;
  }
  return "run the command again";
}

}  // namespace dozered::cli
