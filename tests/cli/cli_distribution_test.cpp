// distribution run as a program: the same points per chart as the
// measurement the Flash RW page's button makes, on a fresh copy of the same
// drive; refused where the page refuses or does not offer it.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/page_side.h"
#include "cli/work_folder.h"
#include "flash/distribution.h"

namespace dozered {
namespace {

using Json = nlohmann::json;
using testing::CliRun;
using testing::Lines;
using testing::PageSide;
using testing::WorkFolder;

TEST(CliDistributionTest, PointsPerChartAreThoseOfThePagesMeasurement) {
  struct Case {
    const char* name;
    int drive;
    uint8_t option;
    std::vector<std::string> args;  // after --drive N
    const char* block;
    const char* page;
    const char* step;
  } cases[] = {
      {"MLC page and its partner, step 3", 0, 0x21, {"distribution", "--block", "100", "--page", "68"}, "0100", "0068",
       "3"},
      {"strong mode, step 9", 1, 0x31, {"--option", "31", "distribution", "--block", "0x1A0", "--page", "3", "--step", "9"},
       "01A0", "0003", "9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PageSide page(c.drive);
    page.State().FlashOption = c.option;
    FlashRwFields fields;
    fields.Block = c.block;
    fields.Page = c.page;
    fields.Option = ByteText(c.option);
    fields.ChCe = ByteText(page.State().FlashChCe);
    fields.DistributionStep = c.step;
    const DistributionOutcome expected = MeasureDistribution(page.State(), page.Feedback(), fields);
    ASSERT_EQ(expected.Status, FlashStatus::kDone) << expected.Message;
    ASSERT_TRUE(expected.ChartCleared);
    std::vector<std::string> lines;
    size_t points = 0;
    for (int s = 0; s < kDistributionSeriesCount; ++s) {
      lines.push_back(kDistributionChartTitles[s]);
      for (const DistributionPoint& p : expected.Series[static_cast<size_t>(s)]) {
        lines.push_back(std::to_string(p.X) + "\t" + std::to_string(p.Count) + "\t" + p.Label);
        ++points;
      }
    }
    ASSERT_GT(points, 0u);

    std::vector<std::string> args = {"--drive", std::to_string(c.drive)};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const WorkFolder text;
    const CliRun run = text.Cli(args);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Lines(run.out), lines);

    args.push_back("--json");
    const WorkFolder json;
    const CliRun jsonRun = json.Cli(args);
    ASSERT_EQ(jsonRun.exitCode, 0) << jsonRun.err;
    const Json doc = Json::parse(jsonRun.out);
    EXPECT_EQ(doc["command"], "distribution");
    EXPECT_EQ(doc["result"], 0);
    EXPECT_EQ(doc["status"], "done");
    EXPECT_EQ(doc["step"], std::stoi(c.step));
    ASSERT_EQ(doc["series"].size(), static_cast<size_t>(kDistributionSeriesCount));
    for (int s = 0; s < kDistributionSeriesCount; ++s) {
      const Json& series = doc["series"][static_cast<size_t>(s)];
      const std::vector<DistributionPoint>& want = expected.Series[static_cast<size_t>(s)];
      EXPECT_EQ(series["title"], kDistributionChartTitles[s]);
      ASSERT_EQ(series["points"].size(), want.size());
      for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(series["points"][i]["x"], want[i].X);
        EXPECT_EQ(series["points"][i]["count"], want[i].Count);
        EXPECT_EQ(series["points"][i]["level"], want[i].Label);
      }
    }
    EXPECT_EQ(doc["raw_view"], Lines(*expected.RawView));
  }
}

TEST(CliDistributionTest, StepsOutsideTheRangeAndDrivesWithoutFirmwareAreRefused) {
  struct Case {
    std::vector<std::string> args;
    const char* errorHas;
  } cases[] = {
      {{"distribution", "--step", "0"}, "--step"},
      {{"distribution", "--step", "63"}, "--step"},
      {{"distribution", "--step", "x"}, "--step"},
      {{"distribution", "--page", "12345"}, "--page"},
      {{"--drive", "2", "distribution"}, "distribution is for a drive under its normal firmware"},
      {{"--drive", "3", "distribution"}, "distribution is for a drive under its normal firmware"},
  };
  const WorkFolder folder;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    const CliRun run = folder.Cli(c.args);
    EXPECT_EQ(run.exitCode, 2) << run.err;
    EXPECT_TRUE(run.out.empty());
    EXPECT_NE(Lines(run.err).back().find(c.errorHas), std::string::npos) << run.err;
  }
}

}  // namespace
}  // namespace dozered
