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
#include "cli/flash_options.h"
#include "cli/session.h"
#include "flash/flash_rw.h"
#include "protocol/card_info.h"

namespace dozered::cli {
namespace {

// The options every flash command shares, and the page's fields made of them.
class FlashCommand : public Command {
 public:
  void AddOptions(CLI::App& command) override {
    AddHexOption(command, "--block", block_, kBlockFieldChars, "Block in hexadecimal, up to 4 digits (default 0000)");
    AddHexOption(command, "--page", page_, kPageFieldChars, "Page in hexadecimal, up to 4 digits (default 0000)");
    AddHexOption(command, "--chunk", chunk_, kChunkFieldChars, "Chunk in hexadecimal, up to 2 digits (default 00)");
    AddSectorsOption(command, sectors_);
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
    ShowOptionBytes(state, fields);
    fields.SectorIndex = SectorItem(sectors_);
    fields.PlaneText = PlaneDisplay(state.FlashOption);
    fields.ChannelText = ChannelDisplay(state.FlashChCe);
    fields.InterleaveText = InterleaveDisplay(state.FlashChCe);
    return fields;
  }

  // The outcome as the command's result: the view texts, the status line's
  // text, and the exit code of how the operation ended.
  static CommandResult FromOutcome(Session& session, const FlashOutcome& outcome, CommandResult out) {
    if (outcome.RawView) out.fields["raw_view"] = SplitLines(*outcome.RawView);
    if (outcome.SpareView) out.fields["spare_view"] = SplitLines(*outcome.SpareView);
    const std::string hint =
        outcome.Message == kMultiPageFailText
            ? "--page plus --pages must stay inside the block (half of it with the strong page bit of --option)"
            : "check the options (run with --help)";
    return FlashStatusResult(session, outcome.Status, outcome.Result, outcome.Message, std::move(out), hint);
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
    if (!fill_.empty()) {
      fields.FillData = FieldText(fill_, kFillDataFieldChars);
      FlashRwFillData(state, fields);
      out.fields["data"] = {{"fill", *HexFieldValue(fill_, kFillDataFieldChars)}};
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
    CLI::Option* fill =
        AddHexOption(command, "--fill", fill_, kFillDataFieldChars, "Write pages of this byte, in hexadecimal (\"Fill Data\")");
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
    if (!fill_.empty() || !file_.empty()) return std::string();
    return "flash write needs the data to write: --fill HEX (every byte) or --file FILE";
  }

 private:
  std::string fill_;
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
