// chunk-ecc and l2p: the "Chunk ECC" page's range run and the "L2P mapping"
// page's translation.
//
// chunk-ecc: blocks --start-block to --end-block and pages --start-page to
// --end-page (hexadecimal) on channel --ch (0-3) and CE --ce (0-7), with
// --disable-orphan for "Disable Use Orphan Table". Text is the page's
// tables. Progress on standard error when it is a terminal; Ctrl-C stops
// between pages. JSON keys: status, message (as flash_commands.cpp), lines:
// [the tables' lines].
//
// l2p LBA: the ten values of the translation. Text: "Item<TAB>Data" per row.
// JSON keys: lba, status, message, rows: [{item, data}].
#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "cli/flash_options.h"
#include "cli/session.h"
#include "flash/chunk_ecc.h"
#include "flash/lba_translation.h"

namespace dozered::cli {
namespace {

class ChunkEccCommand : public Command {
 public:
  const char* Name() const override { return "chunk-ecc"; }
  const char* Description() const override {
    return "Count the bits ECC corrected per chunk over a range of blocks and pages, as the Chunk ECC page";
  }

  void AddOptions(CLI::App& command) override {
    AddHexOption(command, "--start-block", fields_.StartBlock, kChunkEccBlockChars, "First block, hexadecimal");
    AddHexOption(command, "--end-block", fields_.EndBlock, kChunkEccBlockChars, "Last block, hexadecimal");
    AddHexOption(command, "--start-page", fields_.StartPage, kChunkEccPageChars, "First page, hexadecimal");
    AddHexOption(command, "--end-page", fields_.EndPage, kChunkEccPageChars, "Last page, hexadecimal");
    command.add_option("--ch", fields_.Ch, "Channel, 0 to 3")
        ->required()
        ->check(CLI::IsMember({"0", "1", "2", "3"}));
    command.add_option("--ce", fields_.Ce, "CE, 0 to 7")
        ->required()
        ->check(CLI::IsMember({"0", "1", "2", "3", "4", "5", "6", "7"}));
    command.add_flag("--disable-orphan", fields_.DisableOrphan, "Disable Use Orphan Table");
  }

  CommandResult Run(Session& session) override {
    ChunkEccFields fields = fields_;
    fields.StartBlock = FieldText(fields.StartBlock, kChunkEccBlockChars);
    fields.EndBlock = FieldText(fields.EndBlock, kChunkEccBlockChars);
    fields.StartPage = FieldText(fields.StartPage, kChunkEccPageChars);
    fields.EndPage = FieldText(fields.EndPage, kChunkEccPageChars);
    const FlashOutcome run = RunChunkEccRange(session.State(), session.Feedback(), fields);
    CommandResult out;
    if (run.RawView) {
      out.text = SplitLines(*run.RawView);
      out.fields["lines"] = out.text;
    }
    return FlashStatusResult(session, run.Status, run.Result, run.Message, std::move(out));
  }

 private:
  ChunkEccFields fields_;
};

class L2pCommand : public Command {
 public:
  const char* Name() const override { return "l2p"; }
  const char* Description() const override {
    return "Translate a logical block address to where the flash holds it, as the L2P mapping page";
  }

  void AddOptions(CLI::App& command) override {
    command.add_option("lba", lba_, "The LBA, decimal")
        ->required()
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
              const bool digits = !text.empty() && text.size() <= kLbaFieldChars &&
                                  text.find_first_not_of("0123456789") == std::string::npos;
              if (digits && ParseLbaText(text)) return std::string();
              return "\"" + text + "\" is no LBA (a decimal number up to 4294967295)";
            },
            "", "LBA"))
        ->type_name("LBA");
  }

  CommandResult Run(Session& session) override {
    const L2pOutcome translated = TranslateLbaForList(session.State(), session.Feedback(), lba_);
    CommandResult out;
    out.fields["lba"] = *ParseLbaText(lba_);
    Json rows = Json::array();
    for (const L2pRow& row : translated.Rows) {
      rows.push_back({{"item", row.Item}, {"data", row.Data}});
      out.text.push_back(row.Item + "\t" + row.Data);
    }
    out.fields["rows"] = std::move(rows);
    if (translated.Rows.empty() && translated.Status == FlashStatus::kDone) out.text.push_back(translated.Message);
    return FlashStatusResult(session, translated.Status, translated.Result, translated.Message, std::move(out));
  }

 private:
  std::string lba_;
};

}  // namespace

std::unique_ptr<Command> MakeChunkEccCommand() { return std::make_unique<ChunkEccCommand>(); }
std::unique_ptr<Command> MakeL2pCommand() { return std::make_unique<L2pCommand>(); }

}  // namespace dozered::cli
