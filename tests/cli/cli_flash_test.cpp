// flash read | write | erase run as a program on the demo's drives: the same
// dumps and status texts as the Flash RW operations the page calls, on a
// fresh copy of the same drives; exit codes and error lines when the command
// line is wrong, no drive is there, or the drive fails the command.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/device_scan.h"
#include "app/startup/platform_setup.h"
#include "cli/page_side.h"
#include "cli/work_folder.h"
#include "flash/flash_rw.h"
#include "protocol/result_codes.h"
#include "support/recording_feedback.h"

namespace dozered {
namespace {

using Json = nlohmann::json;
using testing::CliRun;
using testing::PageSide;
using testing::Lines;
using testing::WorkFolder;

std::vector<std::string> ViewText(const FlashOutcome& outcome) {
  std::vector<std::string> lines;
  if (outcome.RawView) lines = Lines(*outcome.RawView);
  if (outcome.SpareView) {
    if (!lines.empty()) lines.push_back("");
    for (const std::string& line : Lines(*outcome.SpareView)) lines.push_back(line);
  }
  return lines;
}

std::string ErrorLine(const CliRun& run) {
  const std::vector<std::string> lines = Lines(run.err);
  return lines.empty() ? std::string() : lines.back();
}

// Each case runs the same steps on the page's side and, one process per step,
// through dozered-cli; the last step's text and JSON must match the page's.
TEST(CliFlashTest, EachCommandPrintsWhatThePageShowsForTheSameDrive) {
  struct Step {
    std::vector<std::string> args;  // after --drive N
    std::function<FlashOutcome(AppState&, Feedback&, const std::filesystem::path&)> page;
  };
  struct Case {
    const char* name;
    int drive;
    std::vector<Step> steps;
  };
  const auto fields = [](const char* block, const char* page, int sectorIndex, const AppState& state) {
    FlashRwFields f;
    f.Block = block;
    f.Page = page;
    f.SectorIndex = sectorIndex;
    f.Option = ByteText(state.FlashOption);
    f.ChCe = ByteText(state.FlashChCe);
    return f;
  };
  const Case cases[] = {
      {"read of a written page",
       0,
       {{{"flash", "read", "--block", "10", "--page", "2", "--sectors", "16K"},
         [&](AppState& s, Feedback& f, const std::filesystem::path&) {
           return FlashRwRead(s, f, fields("0010", "0002", 4, s));
         }}}},
      {"read without scrambling, on the MPISP drive, chunk and channel/CE given",
       2,
       {{{"--option", "0x20", "--chce", "09", "flash", "read", "--block", "0x1A0", "--chunk", "3", "--sectors", "2 k"},
         [&](AppState& s, Feedback& f, const std::filesystem::path&) {
           s.FlashOption = 0x20;
           s.FlashChCe = 0x09;
           FlashRwFields fl = fields("01A0", "0000", 1, s);
           fl.Chunk = "03";
           return FlashRwRead(s, f, fl);
         }}}},
      {"erase",
       1,
       {{{"flash", "erase", "--block", "22"},
         [&](AppState& s, Feedback& f, const std::filesystem::path&) {
           return FlashRwErase(s, f, fields("0022", "0000", 0, s));
         }}}},
      {"erase, write a filled page, read it back",
       0,
       {{{"flash", "erase", "--block", "30"},
         [&](AppState& s, Feedback& f, const std::filesystem::path&) {
           return FlashRwErase(s, f, fields("0030", "0000", 0, s));
         }},
        {{"flash", "write", "--block", "30", "--page", "1", "--sectors", "4K", "--fill", "5a"},
         [&](AppState& s, Feedback& f, const std::filesystem::path&) {
           FlashRwFields fl = fields("0030", "0001", 2, s);
           fl.FillData = "5A";
           FlashRwFillData(s, fl);
           return FlashRwWrite(s, f, fl);
         }},
        {{"flash", "read", "--block", "30", "--page", "1", "--sectors", "4K"},
         [&](AppState& s, Feedback& f, const std::filesystem::path&) {
           return FlashRwRead(s, f, fields("0030", "0001", 2, s));
         }}}},
      {"multi-page write from a block image, the third page read back",
       0,
       {{{"flash", "erase", "--block", "31"},
         [&](AppState& s, Feedback& f, const std::filesystem::path&) {
           return FlashRwErase(s, f, fields("0031", "0000", 0, s));
         }},
        {{"flash", "write", "--block", "31", "--page", "1", "--pages", "3", "--file", "block.bin", "--map"},
         [&](AppState& s, Feedback& f, const std::filesystem::path& dir) {
           FlashRwFields fl = fields("0031", "0001", 0, s);
           FlashRwOpenFile(s, fl, dir / "block.bin");
           fl.FileMapping = true;
           fl.MultiPage = true;
           fl.PageCount = "3";
           return FlashRwWrite(s, f, fl);
         }},
        {{"flash", "read", "--block", "31", "--page", "3", "--view", "raw"},
         [&](AppState& s, Feedback& f, const std::filesystem::path&) {
           // --view raw: the data's dump alone.
           FlashOutcome read = FlashRwRead(s, f, fields("0031", "0003", 0, s));
           read.SpareView.reset();
           return read;
         }}}},
  };
  // A block image whose every byte tells its place, so that a page taken
  // from the wrong place shows.
  std::string block(4 * 1024 * 1024, '\0');
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>((i * 7 + i / 512) & 0xFF);

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PageSide page(c.drive);
    WorkFolder text;
    WorkFolder json;
    for (const WorkFolder* folder : {&text, &json}) {
      std::ofstream(folder->Dir() / "block.bin", std::ios::binary) << block;
    }
    std::ofstream(page.Dir() / "block.bin", std::ios::binary) << block;
    FlashOutcome expected;
    CliRun textRun;
    CliRun jsonRun;
    for (const Step& step : c.steps) {
      expected = step.page(page.State(), page.Feedback(), page.Dir());
      ASSERT_EQ(expected.Status, FlashStatus::kDone) << expected.Message;
      std::vector<std::string> args = {"--drive", std::to_string(c.drive)};
      args.insert(args.end(), step.args.begin(), step.args.end());
      textRun = text.Cli(args);
      args.push_back("--json");
      jsonRun = json.Cli(args);
      ASSERT_EQ(textRun.exitCode, 0) << textRun.err;
      ASSERT_EQ(jsonRun.exitCode, 0) << jsonRun.err;
    }
    const std::vector<std::string> views = ViewText(expected);
    EXPECT_EQ(Lines(textRun.out), views.empty() ? std::vector<std::string>{expected.Message} : views);

    const Json doc = Json::parse(jsonRun.out);
    const std::vector<std::string>& last = c.steps.back().args;
    EXPECT_EQ(doc["format_version"], 1);
    const auto flash = std::find(last.begin(), last.end(), "flash");
    ASSERT_NE(flash, last.end());
    EXPECT_EQ(doc["command"], "flash " + *(flash + 1));
    EXPECT_EQ(doc["drive"]["index"], c.drive);
    EXPECT_EQ(doc["result"], 0);
    EXPECT_EQ(doc["exit_code"], 0);
    EXPECT_EQ(doc["status"], "done");
    EXPECT_EQ(doc["message"], expected.Message);
    EXPECT_EQ(doc["flash_option"], page.State().FlashOption);
    EXPECT_EQ(doc["flash_chce"], page.State().FlashChCe);
    EXPECT_EQ(doc["address"]["option"], page.State().FlashOption);
    EXPECT_EQ(doc["address"]["chce"], page.State().FlashChCe);
    for (const char* key : {"block", "page", "chunk", "sectors", "data_sectors", "read_sectors"}) {
      EXPECT_TRUE(doc["address"].contains(key)) << key;
    }
    if (expected.RawView) {
      EXPECT_EQ(doc["raw_view"], Lines(*expected.RawView));
    }
    if (expected.SpareView) {
      EXPECT_EQ(doc["spare_view"], Lines(*expected.SpareView));
    }
  }
}

TEST(CliFlashTest, WrongUsageNoDriveAndAFailingCommandEachHaveTheirCode) {
  constexpr char kPlainDiskOnly[] =
      "[Plain system disk]\r\nKind=plain\r\nTransport=sata\r\nSeed=1\r\nPort=0\r\nTarget=0\r\n";
  struct Case {
    const char* name;
    std::vector<std::string> args;
    int exitCode;
    const char* errorHas;
    const char* drives = nullptr;  // the demo's drives unless given
  } cases[] = {
      {"group without its command", {"flash"}, 2, "flash needs one of read, write, erase"},
      {"unknown member", {"flash", "program"}, 2, "program"},
      {"block of five digits", {"flash", "read", "--block", "12345"}, 2, "--block"},
      {"page not hexadecimal", {"flash", "erase", "--page", "G0"}, 2, "--page"},
      {"chunk of three digits", {"flash", "read", "--chunk", "100"}, 2, "--chunk"},
      {"no such sectors item", {"flash", "read", "--sectors", "3K"}, 2, "no item of the Sectors list"},
      {"transfer rate beyond 16 bits", {"flash", "read", "--transfer-rate", "70000"}, 2, "--transfer-rate"},
      {"transfer rate on a drive under its firmware", {"flash", "read", "--transfer-rate", "5"}, 2,
       "--transfer-rate is for a drive in ROM or MPISP"},
      {"write without data", {"flash", "write", "--block", "1"}, 2, "needs the data to write"},
      {"write with both data sources", {"flash", "write", "--fill", "00", "--file", "VirtualDrives.ini"}, 2, "--fill"},
      {"mapping without a file", {"flash", "write", "--fill", "00", "--map"}, 2, "--map requires --file"},
      {"file that is not there", {"flash", "write", "--file", "Missing.bin"}, 2, "Missing.bin"},
      {"run of pages past the block", {"flash", "write", "--fill", "00", "--page", "FFFF", "--pages", "2"}, 2,
       "Multi-page setting fail; nothing was sent"},
      {"no drive with the controller", {"flash", "read"}, 3, "No drive found", kPlainDiskOnly},
      {"drive index beyond the list", {"--drive", "9", "flash", "erase"}, 3, "there is no drive 9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const WorkFolder folder(c.drives != nullptr ? c.drives : testing::DemoDrivesIni());
    const CliRun text = folder.Cli(c.args);
    EXPECT_EQ(text.exitCode, c.exitCode) << text.err;
    EXPECT_TRUE(text.out.empty()) << text.out;
    const std::string line = ErrorLine(text);
    EXPECT_EQ(line.rfind("dozered-cli: ", 0), 0u) << line;
    EXPECT_NE(line.find(c.errorHas), std::string::npos) << line;
    EXPECT_NE(line.find("; "), std::string::npos) << "says what to do: " << line;

    std::vector<std::string> args = c.args;
    args.push_back("--json");
    const CliRun json = folder.Cli(args);
    EXPECT_EQ(json.exitCode, c.exitCode);
    const Json doc = Json::parse(json.out);
    EXPECT_EQ(doc["exit_code"], c.exitCode);
    EXPECT_TRUE(doc["result"].is_null()) << "nothing reached a drive";
    EXPECT_EQ(ErrorLine(json), "dozered-cli: " + doc["error"].get<std::string>());
  }
}

// A drive that stops answering after the scan: the read fails on the drive
// with the code the page's read gives, and nothing of the page is printed.
TEST(CliFlashTest, AReadTheDriveFailsEndsWithItsResultCode) {
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
  const std::string faulty = drive + "FailAfter=" + std::to_string(scanAccesses) + "\r\n";

  PageSide page(0, faulty);
  FlashRwFields fields;
  fields.Option = ByteText(page.State().FlashOption);
  const FlashOutcome expected = FlashRwRead(page.State(), page.Feedback(), fields);
  ASSERT_EQ(expected.Status, FlashStatus::kFailed);
  ASSERT_NE(expected.Result, kResultSuccess);

  const WorkFolder folder(faulty);
  const CliRun text = folder.Cli({"flash", "read"});
  EXPECT_EQ(text.exitCode, 1);
  EXPECT_TRUE(text.out.empty()) << text.out;
  EXPECT_EQ(ErrorLine(text).rfind("dozered-cli: " + expected.Message + " on drive 0, ", 0), 0u) << text.err;

  const WorkFolder jsonFolder(faulty);
  const CliRun json = jsonFolder.Cli({"--json", "flash", "read"});
  EXPECT_EQ(json.exitCode, 1);
  const Json doc = Json::parse(json.out);
  EXPECT_EQ(doc["command"], "flash read");
  EXPECT_EQ(doc["result"], expected.Result);
  EXPECT_EQ(doc["status"], "failed");
  EXPECT_EQ(doc["message"], expected.Message);
  EXPECT_FALSE(doc.contains("raw_view"));
}

}  // namespace
}  // namespace dozered
