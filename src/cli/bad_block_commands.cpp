// badblocks: the bad-block read of the "Flash Diagnosis" page ("Read").
//
// Text: the three maps (original, run-time, total) and the two lists, each
// under a title line, in the layouts of the report files. JSON keys:
//   status, message   as the flash commands
//   grids          {original, run_time, total}: each the grid's cells as
//                  rows of texts, row 0 and column 0 the "CH%d" / "CE%d"
//                  headers
//   original_list  [{no, fblock, ch, ce, plane}]
//   total_list     as original_list; run-time rows have "*0x%04X" blocks
#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "cli/flash_options.h"
#include "cli/session.h"
#include "flash/bad_block.h"
#include "reports/report_layouts.h"

namespace dozered::cli {
namespace {

Json GridJson(const BadBlockGrid& grid) {
  Json rows = Json::array();
  for (const auto& row : grid.Cells) rows.push_back(Json(std::vector<std::string>(row.begin(), row.end())));
  return rows;
}

Json ListJson(const Rows& rows) {
  static const char* const kKeys[] = {"no", "fblock", "ch", "ce", "plane"};
  Json list = Json::array();
  for (const Row& row : rows) {
    Json entry = Json::object();
    for (size_t i = 0; i < std::size(kKeys); ++i) entry[kKeys[i]] = i < row.size() ? row[i] : std::string();
    list.push_back(std::move(entry));
  }
  return list;
}

void AddTextBlock(std::vector<std::string>& text, const std::string& title, const std::string& layout) {
  if (!text.empty()) text.emplace_back();
  text.push_back(title);
  for (std::string& line : SplitLines(layout)) text.push_back(std::move(line));
}

class BadBlocksCommand : public Command {
 public:
  const char* Name() const override { return "badblocks"; }
  const char* Description() const override {
    return "Read the bad-block maps and lists of the drive, as \"Read\" of the Flash Diagnosis page does";
  }

  CommandResult Run(Session& session) override {
    BadBlockViews views;
    WriteBadBlockGridHeaders(views);
    const BadBlockReadOutcome read = ReadBadBlocks(session.State(), session.Feedback(), views);
    CommandResult out;
    out.fields["grids"] = {{"original", GridJson(views.Original)},
                           {"run_time", GridJson(views.RunTime)},
                           {"total", GridJson(views.Total)}};
    out.fields["original_list"] = ListJson(views.OriginalList);
    out.fields["total_list"] = ListJson(views.TotalList);
    AddTextBlock(out.text, "Original bad blocks:", BadBlockMapLayout(views.Original.Cells));
    AddTextBlock(out.text, "Run-time bad blocks:", BadBlockMapLayout(views.RunTime.Cells));
    AddTextBlock(out.text, "Total bad blocks:", BadBlockMapLayout(views.Total.Cells));
    AddTextBlock(out.text, "Original bad-block list:", BadBlockListLayout(views.OriginalList));
    AddTextBlock(out.text, "Total bad-block list:", BadBlockListLayout(views.TotalList));
    return FlashStatusResult(session, read.Status, read.FailedResult(), read.Message, std::move(out));
  }
};

}  // namespace

std::unique_ptr<Command> MakeBadBlocksCommand() { return std::make_unique<BadBlocksCommand>(); }

}  // namespace dozered::cli
