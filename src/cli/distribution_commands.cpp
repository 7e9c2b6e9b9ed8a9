// distribution: "Read Distribution" of the Flash RW page.
//
// The page at --block / --page (hexadecimal), the level step --step (1 to
// 62, the field beside the button), the option and channel/CE bytes from
// --option and --chce. Progress goes to standard error when it is a terminal;
// Ctrl-C stops between two levels.
//
// Text: per chart its title line ("P0/P1", "P2", "P3"), then one line per
// point: x, count of flipped bits, level ("%02X"), tab-separated. JSON keys:
//   address, status, message   as flash_commands.cpp
//   step        the step used
//   series      [{title, points: [{x, count, level}]}], the three charts
//               in order, points in the order they were measured
//   raw_view, spare_view   the Flash RW views of the last level read
#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "cli/flash_options.h"
#include "cli/session.h"
#include "flash/diagnostic_code.h"
#include "flash/distribution.h"
#include "protocol/card_info.h"

namespace dozered::cli {
namespace {

class DistributionCommand : public Command {
 public:
  const char* Name() const override { return "distribution"; }
  const char* Description() const override {
    return "Measure the read distribution of a flash page (flipped bits per read level), as \"Read Distribution\"";
  }

  void AddOptions(CLI::App& command) override {
    AddHexOption(command, "--block", block_, kBlockFieldChars, "Block in hexadecimal, up to 4 digits (default 0000)");
    AddHexOption(command, "--page", page_, kPageFieldChars, "Page in hexadecimal, up to 4 digits (default 0000)");
    command.add_option("--step", step_, "Level step, 1 to 62 (default 3)")
        ->check(CLI::Range(kDistributionStepMin, kDistributionStepMax).description(""))
        ->type_name("N");
  }

  CommandResult Run(Session& session) override {
    AppState& state = session.State();
    if (!SelectedDriveNeedsDiagnosticCode(state)) {
      const int s = state.SelectedDevice;
      return Failure(kExitUsage, session.DriveText(s) + " runs in " +
                                     CodeModeName(state.CardInfoTable[s][card_info_offset::kCardMode]) +
                                     "; distribution is for a drive under its normal firmware");
    }
    FlashRwFields fields;
    fields.Block = FieldText(block_, kBlockFieldChars);
    fields.Page = FieldText(page_, kPageFieldChars);
    ShowOptionBytes(state, fields);
    fields.DistributionStep = std::to_string(step_);
    CommandResult out;
    out.fields["address"] = AddressJson(fields);
    out.fields["step"] = step_;
    const DistributionOutcome measured = MeasureDistribution(state, session.Feedback(), fields);
    Json series = Json::array();
    for (int s = 0; s < kDistributionSeriesCount; ++s) {
      Json points = Json::array();
      out.text.push_back(kDistributionChartTitles[s]);
      for (const DistributionPoint& p : measured.Series[static_cast<size_t>(s)]) {
        points.push_back({{"x", p.X}, {"count", p.Count}, {"level", p.Label}});
        out.text.push_back(std::to_string(p.X) + "\t" + std::to_string(p.Count) + "\t" + p.Label);
      }
      series.push_back({{"title", kDistributionChartTitles[s]}, {"points", std::move(points)}});
    }
    if (measured.ChartCleared) {
      out.fields["series"] = std::move(series);
    } else {
      out.text.clear();
    }
    if (measured.RawView) out.fields["raw_view"] = SplitLines(*measured.RawView);
    if (measured.SpareView) out.fields["spare_view"] = SplitLines(*measured.SpareView);
    return FlashStatusResult(session, measured.Status, measured.Result, measured.Message, std::move(out));
  }

 private:
  std::string block_ = "0000";
  std::string page_ = "0000";
  int step_ = 3;
};

}  // namespace

std::unique_ptr<Command> MakeDistributionCommand() { return std::make_unique<DistributionCommand>(); }

}  // namespace dozered::cli
