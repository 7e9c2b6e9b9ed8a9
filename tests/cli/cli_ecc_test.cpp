// chunk-ecc and l2p run as a program: the same tables and rows as the Chunk
// ECC and L2P mapping pages' operations on a fresh copy of the same drive.
#include <gtest/gtest.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/page_side.h"
#include "cli/work_folder.h"
#include "flash/chunk_ecc.h"
#include "flash/lba_translation.h"

namespace dozered {
namespace {

using Json = nlohmann::json;
using testing::CliRun;
using testing::Lines;
using testing::PageSide;
using testing::WorkFolder;

TEST(CliEccTest, ChunkEccAndL2pPrintWhatThePagesShow) {
  struct Case {
    const char* name;
    int drive;
    std::vector<std::string> args;  // after --drive N
    std::function<FlashOutcome(AppState&, Feedback&, std::vector<std::string>&)> page;
  } cases[] = {
      {"chunk ECC of two pages",
       0,
       {"chunk-ecc", "--start-block", "100", "--end-block", "100", "--start-page", "0", "--end-page", "1", "--ch", "0",
        "--ce", "0"},
       [](AppState& s, Feedback& f, std::vector<std::string>& text) {
         ChunkEccFields fields;
         fields.StartBlock = "0100";
         fields.EndBlock = "0100";
         fields.StartPage = "000";
         fields.EndPage = "001";
         fields.Ch = "0";
         fields.Ce = "0";
         FlashOutcome out = RunChunkEccRange(s, f, fields);
         if (out.RawView) text = Lines(*out.RawView);
         return out;
       }},
      {"LBA translation",
       1,
       {"l2p", "4096"},
       [](AppState& s, Feedback& f, std::vector<std::string>& text) {
         L2pOutcome out = TranslateLbaForList(s, f, "4096");
         for (const L2pRow& row : out.Rows) text.push_back(row.Item + "\t" + row.Data);
         if (out.Rows.empty()) text.push_back(out.Message);
         return static_cast<FlashOutcome>(out);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PageSide page(c.drive);
    std::vector<std::string> expected;
    const FlashOutcome want = c.page(page.State(), page.Feedback(), expected);
    ASSERT_EQ(want.Status, FlashStatus::kDone) << want.Message;
    std::vector<std::string> args = {"--drive", std::to_string(c.drive)};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const WorkFolder text;
    const CliRun run = text.Cli(args);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Lines(run.out), expected);
    args.push_back("--json");
    const WorkFolder json;
    const CliRun jsonRun = json.Cli(args);
    ASSERT_EQ(jsonRun.exitCode, 0) << jsonRun.err;
    const Json doc = Json::parse(jsonRun.out);
    EXPECT_EQ(doc["command"], c.args[0]);
    EXPECT_EQ(doc["status"], "done");
    EXPECT_EQ(doc["message"], want.Message);
    if (c.args[0] == "chunk-ecc") {
      EXPECT_EQ(doc["lines"], expected);
    } else {
      EXPECT_EQ(doc["lba"], 4096);
      EXPECT_TRUE(doc["rows"].is_array());
    }
  }
}

TEST(CliEccTest, WrongValuesAreUsageErrors) {
  struct Case {
    std::vector<std::string> args;
    const char* errorHas;
  } cases[] = {
      {{"chunk-ecc", "--ce", "0"}, "--ch"},
      {{"chunk-ecc", "--ch", "4", "--ce", "0"}, "--ch"},
      {{"chunk-ecc", "--ch", "0", "--ce", "0", "--end-page", "1000"}, "--end-page"},
      {{"l2p", "4294967296"}, "no LBA"},
      {{"l2p", "-1"}, "no LBA"},
      {{"l2p"}, "lba"},
  };
  const WorkFolder folder;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    const CliRun run = folder.Cli(c.args);
    EXPECT_EQ(run.exitCode, 2) << run.err;
    EXPECT_NE(Lines(run.err).back().find(c.errorHas), std::string::npos) << run.err;
  }
}

}  // namespace
}  // namespace dozered
