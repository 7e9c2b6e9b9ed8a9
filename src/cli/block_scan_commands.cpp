// dbs | dps: the block scans of the "DBS / DPS" page.
//
// dbs reads page --page of every block, dps every page of block --block;
// --sectors is the page's "Sectors:" list, the option and channel/CE fields
// show FlashOption and FlashChCe (--option, --chce). Progress goes to
// standard error when it is a terminal; Ctrl-C stops the scan between two
// steps as "Cancel" does (the entries not reached stay zero, exit code 130).
//
// Text: the result dump, its column-header line first, line i for block
// (dbs) or page (dps) i. JSON keys:
//   address     as flash_commands.cpp (the block or page not scanned is 0)
//   status, message   as the flash commands ("done" also when cancelled)
//   step_count  the blocks (dbs) or pages (dps) of the scan
//   steps_done  the steps whose entry was taken
//   cancelled   stopped by Ctrl-C before the last step
//   entries     [{index, tag, sequence}]: spare bytes 16-23 and 32-39 of
//               each step, as hexadecimal byte texts "FF FF ..."
//   dump        [the dump's lines]
#include <CLI/CLI.hpp>
#include <cstdio>

#include "cli/commands.h"
#include "cli/flash_options.h"
#include "cli/session.h"
#include "flash/block_scan.h"

namespace dozered::cli {
namespace {

std::string BytesText(std::span<const uint8_t> bytes) {
  std::string text;
  for (uint8_t b : bytes) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%s%02X", text.empty() ? "" : " ", b);
    text += hex;
  }
  return text;
}

class BlockScanCommand : public Command {
 public:
  explicit BlockScanCommand(BlockScanKind kind) : kind_(kind) {}
  const char* Name() const override { return kind_ == BlockScanKind::kDbs ? "dbs" : "dps"; }
  const char* Description() const override {
    return kind_ == BlockScanKind::kDbs
               ? "Block scan: read page --page of every block and list the spare tags, as \"DBS\" does"
               : "Page scan: read every page of block --block and list the spare tags, as \"DPS\" does";
  }

  void AddOptions(CLI::App& command) override {
    if (kind_ == BlockScanKind::kDbs) {
      AddHexOption(command, "--page", where_, kPageFieldChars, "The page read in every block, hexadecimal (default 0000)");
    } else {
      AddHexOption(command, "--block", where_, kBlockFieldChars, "The block scanned, hexadecimal (default 0000)");
    }
    AddSectorsOption(command, sectors_);
  }

  CommandResult Run(Session& session) override {
    AppState& state = session.State();
    DbsDpsFields fields;
    (kind_ == BlockScanKind::kDbs ? fields.Page : fields.Block) = FieldText(where_, 4);
    fields.SectorIndex = SectorItem(sectors_);
    ShowDbsDpsOptionBytes(state, fields);
    CommandResult out;
    out.fields["address"] = AddressJson(fields);
    const BlockScanOutcome scan = RunBlockScan(state, session.Feedback(), kind_, fields);
    out.fields["step_count"] = scan.StepCount;
    out.fields["steps_done"] = scan.StepsDone;
    out.fields["cancelled"] = scan.Cancelled;
    if (scan.Status == FlashStatus::kDone) {
      Json entries = Json::array();
      const std::span<const uint8_t> table(scan.Table);
      for (size_t i = 0; i + kBlockScanEntryBytes <= table.size(); i += kBlockScanEntryBytes) {
        entries.push_back({{"index", i / kBlockScanEntryBytes},
                           {"tag", BytesText(table.subspan(i, 8))},
                           {"sequence", BytesText(table.subspan(i + 8, 8))}});
      }
      out.fields["entries"] = std::move(entries);
    }
    if (scan.Dump) {
      out.text = SplitLines(*scan.Dump);
      out.fields["dump"] = out.text;
    }
    // A failed step is shown in an error box; its text is the error line.
    std::string message = scan.Message;
    if (scan.Status == FlashStatus::kFailed) {
      for (const CliMessage& m : session.Feedback().Messages()) {
        if (m.kind == CliMessage::Kind::kMessageBox && m.icon == MessageIcon::Error) message = m.text;
      }
    }
    CommandResult result = FlashStatusResult(session, scan.Status, scan.Result, message, std::move(out));
    if (result.fields.contains("message")) result.fields["message"] = scan.Message;
    return result;
  }

 private:
  BlockScanKind kind_;
  std::string where_ = "0000";
  std::string sectors_ = "1K";
};

}  // namespace

std::unique_ptr<Command> MakeDbsCommand() { return std::make_unique<BlockScanCommand>(BlockScanKind::kDbs); }
std::unique_ptr<Command> MakeDpsCommand() { return std::make_unique<BlockScanCommand>(BlockScanKind::kDps); }

}  // namespace dozered::cli
