// flash read | write | erase: the "Flash RW" page's Read, Write and Erase.
//
// The options are the page's fields: --block, --page and --chunk (hexadecimal,
// as typed into the page), --sectors (the "Sectors:" list, "1K" to "32K"),
// --transfer-rate (the transfer rate box and field); the option and
// channel/CE fields show FlashOption and FlashChCe (--option, --chce). Write
// takes its data as the page does before "Write": --fill HEX ("Fill Data") or
// --file FILE ("Open File"), with --pages N (multi-page write) and --map (file
// mapping, each page from its place in FILE).
//
// JSON keys of the three commands:
//   address     {block, page, chunk, option, chce, sectors ("1 K"...),
//                data_sectors, read_sectors} as the command was sent
//   status      "done", "failed", "refused" (nothing sent) or "nothing"
//   message     what the status line was given ("" for none)
//   raw_view    [dump lines of the data, as the page's raw view] when the
//               operation gave the view a new text
//   spare_view  [dump lines of the spare sector] likewise
//   write only: pages {first, count}, data {fill} or {file, mapping}
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <optional>

#include "app/paths.h"
#include "cli/commands.h"
#include "cli/session.h"
#include "flash/flash_rw.h"
#include "protocol/card_info.h"

namespace dozered::cli {
namespace {

// The digits of a hexadecimal field: "0x" in front allowed, 1 to `digits`
// hexadecimal digits. Nothing when the text is not such a number.
std::optional<uint32_t> HexFieldValue(const std::string& text, size_t digits) {
  std::string_view rest = text;
  if (rest.size() > 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) rest.remove_prefix(2);
  if (rest.empty() || rest.size() > digits) return std::nullopt;
  uint32_t value = 0;
  for (char c : rest) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
    value = value * 16 + static_cast<uint32_t>(std::isdigit(static_cast<unsigned char>(c))
                                                   ? c - '0'
                                                   : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
  }
  return value;
}

CLI::Validator HexField(size_t digits) {
  return CLI::Validator(
      [digits](std::string& text) -> std::string {
        if (HexFieldValue(text, digits)) return std::string();
        return "\"" + text + "\" is no hexadecimal number of 1 to " + std::to_string(digits) + " digits";
      },
      "", "hex");
}

// The item of the "Sectors:" list a text names: "16K", "16 K", "16k".
int SectorItem(const std::string& text) {
  std::string wanted;
  for (char c : text) {
    if (c != ' ') wanted.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
  }
  for (int i = 0; i < kSectorItemCount; ++i) {
    std::string item;
    for (const char* c = kSectorItems[i]; *c != '\0'; ++c) {
      if (*c != ' ') item.push_back(*c);
    }
    if (item == wanted) return i;
  }
  return -1;
}

std::string SectorItemNames() {
  std::string names;
  for (int i = 0; i < kSectorItemCount; ++i) {
    for (const char* c = kSectorItems[i]; *c != '\0'; ++c) {
      if (*c != ' ') names.push_back(*c);
    }
    if (i + 1 < kSectorItemCount) names += ", ";
  }
  return names;
}

std::string FieldText(const std::string& text, size_t digits) {
  char field[16];
  std::snprintf(field, sizeof field, "%0*X", static_cast<int>(digits), static_cast<unsigned>(*HexFieldValue(text, digits)));
  return field;
}

const char* StatusName(FlashStatus status) {
  switch (status) {
    case FlashStatus::kDone: return "done";
    case FlashStatus::kFailed: return "failed";
    case FlashStatus::kRefused: return "refused";
    case FlashStatus::kNothing: break;
  }
  return "nothing";
}

// The options every flash command shares, and the page's fields made of them.
class FlashCommand : public Command {
 public:
  void AddOptions(CLI::App& command) override {
    command.add_option("--block", block_, "Block in hexadecimal, up to 4 digits (default 0000)")
        ->check(HexField(kBlockFieldChars))
        ->type_name("HEX");
    command.add_option("--page", page_, "Page in hexadecimal, up to 4 digits (default 0000)")
        ->check(HexField(kPageFieldChars))
        ->type_name("HEX");
    command.add_option("--chunk", chunk_, "Chunk in hexadecimal, up to 2 digits (default 00)")
        ->check(HexField(kChunkFieldChars))
        ->type_name("HEX");
    command
        .add_option("--sectors", sectors_,
                    "Data of the page, an item of the \"Sectors:\" list: " + SectorItemNames() + " (default 1K)")
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
              if (SectorItem(text) >= 0) return std::string();
              return "\"" + text + "\" is no item of the Sectors list; give one of " + SectorItemNames();
            },
            "", "sectors"))
        ->type_name("SIZE");
    AddOwnOptions(command);
  }

 protected:
  virtual void AddOwnOptions(CLI::App& command) { (void)command; }

  // The page's fields as the user would have set them, the option and
  // channel/CE fields showing the two bytes.
  FlashRwFields Fields(const AppState& state) const {
    FlashRwFields fields;
    fields.Block = FieldText(block_, kBlockFieldChars);
    fields.Page = FieldText(page_, kPageFieldChars);
    fields.Chunk = FieldText(chunk_, kChunkFieldChars);
    fields.Option = ByteText(state.FlashOption);
    fields.ChCe = ByteText(state.FlashChCe);
    fields.SectorIndex = SectorItem(sectors_);
    fields.PlaneText = PlaneDisplay(state.FlashOption);
    fields.ChannelText = ChannelDisplay(state.FlashChCe);
    fields.InterleaveText = InterleaveDisplay(state.FlashChCe);
    return fields;
  }

  // The address keys of the document.
  static Json AddressJson(const FlashRwFields& fields) {
    const FlashTarget target = ParseFlashTarget(fields);
    return {{"block", target.Address.block},
            {"page", target.Address.page},
            {"chunk", target.Address.chunk},
            {"option", target.Address.option},
            {"chce", target.Address.chCe},
            {"sectors", kSectorItems[fields.SectorIndex]},
            {"data_sectors", target.DataSectors},
            {"read_sectors", target.ReadSectors}};
  }

  // The outcome as the command's result: the view texts, the status line's
  // text, and the exit code of how the operation ended.
  static CommandResult FromOutcome(Session& session, const FlashOutcome& outcome, CommandResult out) {
    out.fields["status"] = StatusName(outcome.Status);
    out.fields["message"] = outcome.Message;
    if (outcome.RawView) out.fields["raw_view"] = SplitLines(*outcome.RawView);
    if (outcome.SpareView) out.fields["spare_view"] = SplitLines(*outcome.SpareView);
    switch (outcome.Status) {
      case FlashStatus::kDone:
        out.result = outcome.Result;
        return out;
      case FlashStatus::kFailed: {
        CommandResult failed = DriveFailure(session, outcome.Message, outcome.Result);
        failed.fields = std::move(out.fields);
        failed.text = std::move(out.text);
        return failed;
      }
      case FlashStatus::kRefused: {
        // Refused before anything was sent: the status line's text, or the
        // error message box of a field that did not convert.
        std::string why = outcome.Message;
        for (const CliMessage& m : session.Feedback().Messages()) {
          if (why.empty() && m.kind == CliMessage::Kind::kMessageBox && m.icon == MessageIcon::Error) why = m.text;
        }
        CommandResult refused = Failure(kExitUsage, why + "; nothing was sent to the drive, " + RefusedHint(outcome));
        refused.fields = std::move(out.fields);
        return refused;
      }
      case FlashStatus::kNothing: break;
    }
    CommandResult nothing = Failure(kExitCommandFailed, "nothing was sent to " +
                                                            session.DriveText(session.State().SelectedDevice) +
                                                            "; run the command again");
    nothing.fields = std::move(out.fields);
    return nothing;
  }

  static std::string RefusedHint(const FlashOutcome& outcome) {
    if (outcome.Message == kMultiPageFailText) {
      return "--page plus --pages must stay inside the block (half of it with the strong page bit of --option)";
    }
    return "check the options (run with --help)";
  }

  // The transfer rate box is shown only for a drive that does not run its
  // normal firmware; elsewhere the option is refused, as the page hides it.
  std::optional<CommandResult> TransferRateRefused(Session& session) const {
    if (transfer_rate_.empty()) return std::nullopt;
    const int s = session.State().SelectedDevice;
    const uint8_t mode = session.State().CardInfoTable[s][card_info_offset::kCardMode];
    if (mode == kCardModeRomCode || mode == kCardModeMpisp) return std::nullopt;
    return Failure(kExitUsage, session.DriveText(s) + " runs its normal firmware; --transfer-rate is for a drive in "
                                                      "ROM or MPISP Code Mode, leave it out");
  }

  void AddTransferRate(CLI::App& command) {
    command
        .add_option("--transfer-rate", transfer_rate_,
                    "Set the flash transfer rate first (the transfer rate box), a decimal number up to 65535; "
                    "for a drive in ROM or MPISP Code Mode")
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
              return ParseTransferRate(text) ? std::string() : NotATransferRateText(text);
            },
            "", "rate"))
        ->type_name("N");
  }

  void SetTransferRate(FlashRwFields& fields) const {
    fields.TransferRate = !transfer_rate_.empty();
    if (fields.TransferRate) fields.TransferRateText = transfer_rate_;
  }

 private:
  std::string block_ = "0000";
  std::string page_ = "0000";
  std::string chunk_ = "00";
  std::string sectors_ = "1K";
  std::string transfer_rate_;
};

class FlashReadCommand : public FlashCommand {
 public:
  const char* Name() const override { return "flash read"; }
  const char* Description() const override {
    return "Read one flash page (data and spare sector) and print its dump, as \"Read\" on the Flash RW page";
  }

  CommandResult Run(Session& session) override {
    if (auto refused = TransferRateRefused(session)) return *refused;
    AppState& state = session.State();
    FlashRwFields fields = Fields(state);
    SetTransferRate(fields);
    CommandResult out;
    out.fields["address"] = AddressJson(fields);
    const FlashOutcome outcome = FlashRwRead(state, session.Feedback(), fields);
    if (outcome.RawView && view_ != "spare") out.text = SplitLines(*outcome.RawView);
    if (outcome.SpareView && view_ != "raw") {
      if (!out.text.empty()) out.text.push_back(std::string());
      for (std::string& line : SplitLines(*outcome.SpareView)) out.text.push_back(std::move(line));
    }
    return FromOutcome(session, outcome, std::move(out));
  }

 protected:
  void AddOwnOptions(CLI::App& command) override {
    AddTransferRate(command);
    command.add_option("--view", view_, "What to print as text: raw (the data), spare (the spare sector) or both")
        ->check(CLI::IsMember({"raw", "spare", "both"}))
        ->capture_default_str();
  }

 private:
  std::string view_ = "both";
};

class FlashWriteCommand : public FlashCommand {
 public:
  const char* Name() const override { return "flash write"; }
  const char* Description() const override {
    return "Write data (--fill or --file) to one flash page or a run of pages, as \"Write\" on the Flash RW page";
  }

  CommandResult Run(Session& session) override {
    if (auto refused = TransferRateRefused(session)) return *refused;
    AppState& state = session.State();
    FlashRwFields fields = Fields(state);
    SetTransferRate(fields);
    CommandResult out;
    out.fields["address"] = AddressJson(fields);
    out.fields["pages"] = {{"first", ParseFlashTarget(fields).Address.page},
                           {"count", pages_ ? *pages_ : 1}};
    // The page buffer as "Fill Data" or "Open File" leaves it.
    if (fill_) {
      fields.FillData = FieldText(*fill_, kFillDataFieldChars);
      FlashRwFillData(state, fields);
      out.fields["data"] = {{"fill", *HexFieldValue(*fill_, kFillDataFieldChars)}};
    } else {
      const FlashOutcome opened = FlashRwOpenFile(state, fields, file_);
      if (opened.Status != FlashStatus::kDone) {
        return Failure(kExitUsage, PathText(file_) + " cannot be read; give a readable file to --file");
      }
      out.fields["data"] = {{"file", PathText(fields.MappingFile)}, {"mapping", map_}};
      fields.FileMapping = map_;
    }
    if (pages_) {
      fields.MultiPage = true;
      fields.PageCount = std::to_string(*pages_);
    }
    const FlashOutcome outcome = FlashRwWrite(state, session.Feedback(), fields);
    if (outcome.Status == FlashStatus::kDone) out.text.push_back(outcome.Message);
    return FromOutcome(session, outcome, std::move(out));
  }

 protected:
  void AddOwnOptions(CLI::App& command) override {
    AddTransferRate(command);
    CLI::Option* fill = command.add_option("--fill", fill_, "Write pages of this byte, in hexadecimal (\"Fill Data\")")
                            ->check(HexField(kFillDataFieldChars))
                            ->type_name("HEX");
    CLI::Option* file =
        command.add_option("--file", file_, "Write the data from the start of FILE (\"Open File\")")
            ->check(CLI::ExistingFile.description(""))
            ->type_name("FILE");
    fill->excludes(file);
    command
        .add_option("--pages", pages_,
                    "Write a run of this many pages from --page (\"Multi-Page Write\"); it must end inside the block")
        ->check(CLI::Range(0, 9999).description(""))
        ->type_name("N");
    command.add_flag("--map", map_, "Take each page's data from its place in FILE, an image of the block (file mapping)")
        ->needs(file);
  }

  // Write sends the page buffer: the command line must say what it holds.
  std::string CheckUsage() const override {
    if (fill_ || !file_.empty()) return std::string();
    return "flash write needs the data to write: --fill HEX (every byte) or --file FILE";
  }

 private:
  std::optional<std::string> fill_;
  std::string file_;
  std::optional<int> pages_;
  bool map_ = false;
};

class FlashEraseCommand : public FlashCommand {
 public:
  const char* Name() const override { return "flash erase"; }
  const char* Description() const override {
    return "Erase the flash block of --block, as \"Erase\" on the Flash RW page";
  }

  CommandResult Run(Session& session) override {
    AppState& state = session.State();
    const FlashRwFields fields = Fields(state);
    CommandResult out;
    out.fields["address"] = AddressJson(fields);
    const FlashOutcome outcome = FlashRwErase(state, session.Feedback(), fields);
    if (outcome.Status == FlashStatus::kDone) out.text.push_back(outcome.Message);
    return FromOutcome(session, outcome, std::move(out));
  }
};

}  // namespace

std::unique_ptr<Command> MakeFlashReadCommand() { return std::make_unique<FlashReadCommand>(); }
std::unique_ptr<Command> MakeFlashWriteCommand() { return std::make_unique<FlashWriteCommand>(); }
std::unique_ptr<Command> MakeFlashEraseCommand() { return std::make_unique<FlashEraseCommand>(); }

}  // namespace dozered::cli
