// dbs and dps run as a program: the same dump and entries as the block scans
// the page calls, on a fresh copy of the same drives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/device_scan.h"
#include "app/startup/platform_setup.h"
#include "cli/page_side.h"
#include "cli/work_folder.h"
#include "flash/block_scan.h"
#include "support/recording_feedback.h"

namespace dozered {
namespace {

using Json = nlohmann::json;
using testing::CliRun;
using testing::Lines;
using testing::WorkFolder;

TEST(CliBlockScanTest, ScansPrintThePagesDumpAndEntries) {
  struct Case {
    const char* name;
    int drive;
    BlockScanKind kind;
    std::vector<std::string> args;
    const char* block;
    const char* page;
    int sectorIndex;
  } cases[] = {
      {"dbs of page 0", 0, BlockScanKind::kDbs, {"dbs"}, "0000", "0000", 0},
      {"dbs of page 5, 4K", 1, BlockScanKind::kDbs, {"dbs", "--page", "5", "--sectors", "4K"}, "0000", "0005", 2},
      {"dps of block 0x10", 0, BlockScanKind::kDps, {"dps", "--block", "10"}, "0010", "0000", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const WorkFolder pageFolder;
    auto state = std::make_unique<AppState>();
    SetUpStoragePlatform(*state, pageFolder.Dir() / "VirtualDrives.ini");
    ScanForControllers(*state);
    FinishScan(*state);
    state->SelectedDevice = c.drive;
    state->CurrentController = &state->Controllers[c.drive];
    testing::RecordingFeedback feedback;
    DbsDpsFields fields;
    fields.Block = c.block;
    fields.Page = c.page;
    fields.SectorIndex = c.sectorIndex;
    ShowDbsDpsOptionBytes(*state, fields);
    const BlockScanOutcome expected = RunBlockScan(*state, feedback, c.kind, fields);
    ASSERT_EQ(expected.Status, FlashStatus::kDone) << expected.Message;
    ASSERT_TRUE(expected.Dump);

    std::vector<std::string> args = {"--drive", std::to_string(c.drive)};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const WorkFolder text;
    const CliRun run = text.Cli(args);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Lines(run.out), Lines(*expected.Dump));

    args.push_back("--json");
    const WorkFolder json;
    const CliRun jsonRun = json.Cli(args);
    ASSERT_EQ(jsonRun.exitCode, 0) << jsonRun.err;
    const Json doc = Json::parse(jsonRun.out);
    EXPECT_EQ(doc["command"], c.args[0]);
    EXPECT_EQ(doc["status"], "done");
    EXPECT_EQ(doc["message"], expected.Message);
    EXPECT_EQ(doc["step_count"], expected.StepCount);
    EXPECT_EQ(doc["steps_done"], expected.StepsDone);
    EXPECT_EQ(doc["cancelled"], false);
    EXPECT_EQ(doc["dump"], Lines(*expected.Dump));
    ASSERT_EQ(doc["entries"].size(), expected.Table.size() / kBlockScanEntryBytes);
    for (size_t i = 0; i < doc["entries"].size(); i += 97) {
      const Json& entry = doc["entries"][i];
      EXPECT_EQ(entry["index"], i);
      char tag[4];
      std::snprintf(tag, sizeof tag, "%02X", expected.Table[i * kBlockScanEntryBytes]);
      EXPECT_EQ(entry["tag"].get<std::string>().substr(0, 2), tag);
      std::snprintf(tag, sizeof tag, "%02X", expected.Table[i * kBlockScanEntryBytes + 8]);
      EXPECT_EQ(entry["sequence"].get<std::string>().substr(0, 2), tag);
      EXPECT_EQ(entry["tag"].get<std::string>().size(), 23u);
    }
  }
}

// A drive that stops answering in the middle of the scan: the scan fails with
// the step's result code, as the page's scan does, and leaves no result.
TEST(CliBlockScanTest, AScanWhoseStepFailsEndsWithTheStepsResultCode) {
  const std::string drive =
      "[Faulty SATA SSD]\r\nKind=controller\r\nTransport=sata\r\nSeed=4810\r\nCardMode=2\r\nPort=1\r\nTarget=0\r\n";
  uint64_t scanAccesses = 0;
  {
    const WorkFolder folder(drive + "TraceFile=drive.trace\r\n");
    ASSERT_EQ(folder.Cli({"scan"}).exitCode, 0);
    for (const std::string& line : Lines(testing::ReadWholeFile(folder.Dir() / "drive.trace"))) {
      scanAccesses = std::max<uint64_t>(scanAccesses, std::stoull(line));
    }
    ASSERT_GT(scanAccesses, 0u);
  }
  // Some steps in.
  const std::string faulty = drive + "FailAfter=" + std::to_string(scanAccesses + 60) + "\r\n";

  testing::PageSide page(0, faulty);
  DbsDpsFields fields;
  ShowDbsDpsOptionBytes(page.State(), fields);
  const BlockScanOutcome expected = RunDbs(page.State(), page.Feedback(), fields);
  ASSERT_EQ(expected.Status, FlashStatus::kFailed);
  ASSERT_GT(expected.StepsDone, 0u);
  char failText[32];
  std::snprintf(failText, sizeof failText, kDbsFailFormat, static_cast<int>(expected.Result));

  const WorkFolder folder(faulty);
  const CliRun text = folder.Cli({"dbs"});
  EXPECT_EQ(text.exitCode, 1);
  EXPECT_TRUE(text.out.empty()) << text.out;
  EXPECT_EQ(Lines(text.err).back().rfind(std::string("dozered-cli: ") + failText + " on drive 0, ", 0), 0u) << text.err;

  const WorkFolder jsonFolder(faulty);
  const CliRun json = jsonFolder.Cli({"--json", "dbs"});
  EXPECT_EQ(json.exitCode, 1);
  const Json doc = Json::parse(json.out);
  EXPECT_EQ(doc["result"], expected.Result);
  EXPECT_EQ(doc["status"], "failed");
  EXPECT_EQ(doc["message"], expected.Message);
  EXPECT_EQ(doc["steps_done"], expected.StepsDone);
  EXPECT_FALSE(doc.contains("entries"));
}

}  // namespace
}  // namespace dozered
