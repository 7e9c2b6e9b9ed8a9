// How dozered-cli ends: its exit code, the one error line on standard error
// that says what to do, and the JSON document that scripts get even then.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/device_scan.h"
#include "app/page_read.h"
#include "app/page_table.h"
#include "app/startup/platform_setup.h"
#include "cli/work_folder.h"
#include "protocol/result_codes.h"
#include "support/recording_feedback.h"

namespace dozered {
namespace {

using Json = nlohmann::json;
using testing::CliRun;
using testing::Lines;
using testing::WorkFolder;

constexpr char kPlainDiskOnly[] =
    "[Plain system disk]\r\nKind=plain\r\nTransport=sata\r\nSeed=1\r\nPort=0\r\nTarget=0\r\n";

// The last line of standard error: the program's one error line.
std::string ErrorLine(const CliRun& run) {
  const std::vector<std::string> lines = Lines(run.err);
  return lines.empty() ? std::string() : lines.back();
}

TEST(CliExitCodesTest, WrongUsageAndMissingDrivesEachHaveTheirCode) {
  const std::string mpisp = (std::filesystem::path(DOZERED_DEMO_RUN_DIR) / "MPISP.bin").string();
  struct Case {
    const char* name;
    std::vector<std::string> args;  // after --drives VirtualDrives.ini unless `ownDrives`
    int exitCode;
    const char* errorHas;
    bool plainDiskOnly = false;
    bool ownDrives = false;
  } cases[] = {
      {"drive index beyond the list", {"--drive", "6", "info"}, 3, "there is no drive 6"},
      {"no drive carries the controller", {"info"}, 3, "No drive found on 1 disk", true},
      {"scan that finds none", {"scan"}, 3, "No drive found on 1 disk", true},
      {"option byte too large", {"--option", "1FF", "scan"}, 2, "--option"},
      {"option byte not hexadecimal", {"--chce", "G1", "info"}, 2, "--chce"},
      {"negative drive index", {"--drive", "-1", "info"}, 2, "--drive"},
      {"drive index not a number", {"--drive", "x", "info"}, 2, "--drive"},
      {"page without a read", {"read", "flash-rw"}, 2, "no information page"},
      {"page the code mode does not offer", {"--drive", "3", "read", "smart-data"}, 2, "ROM Code Mode"},
      {"MPISP load on a drive under its firmware", {"load-mpisp", mpisp}, 2, "load-mpisp is for a drive in ROM"},
      {"MPISP file missing", {"--drive", "3", "load-mpisp", "Missing.bin"}, 2, "Missing.bin"},
      {"drives file missing", {"--drives", "Missing.ini", "scan"}, 2, "Missing.ini", false, true},
      {"no command", {}, 2, "a command is needed"},
      {"unknown command", {"erase"}, 2, "erase"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const WorkFolder folder(c.plainDiskOnly ? kPlainDiskOnly : testing::DemoDrivesIni());
    const CliRun text = c.ownDrives ? folder.CliWithout(c.args) : folder.Cli(c.args);
    EXPECT_EQ(text.exitCode, c.exitCode) << text.err;
    EXPECT_TRUE(text.out.empty()) << text.out;
    const std::string line = ErrorLine(text);
    EXPECT_EQ(line.rfind("dozered-cli: ", 0), 0u) << line;
    EXPECT_NE(line.find(c.errorHas), std::string::npos) << line;
    // It says what to do: a second part after the cause.
    EXPECT_NE(line.find("; "), std::string::npos) << line;

    std::vector<std::string> args = c.args;
    args.push_back("--json");
    const CliRun json = c.ownDrives ? folder.CliWithout(args) : folder.Cli(args);
    EXPECT_EQ(json.exitCode, c.exitCode);
    const Json doc = Json::parse(json.out);
    EXPECT_EQ(doc["format_version"], 1);
    EXPECT_EQ(doc["exit_code"], c.exitCode);
    EXPECT_EQ(ErrorLine(json), "dozered-cli: " + doc["error"].get<std::string>());
  }
}

// A drive whose controller stops answering after the scan: the command fails
// on the drive, and the output carries the command's own result code, the one
// the window's page read gives.
TEST(CliExitCodesTest, ACommandThatFailsOnTheDriveCarriesItsResultCode) {
  const std::string drive =
      "[Faulty SATA SSD]\r\nKind=controller\r\nTransport=sata\r\nSeed=4810\r\nCardMode=2\r\nPort=1\r\nTarget=0\r\n";
  // How many sector accesses the scan takes, from the drive's own trace.
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

  // The window's page read on the same drive.
  const WorkFolder windowFolder(faulty);
  auto state = std::make_unique<AppState>();
  SetUpStoragePlatform(*state, windowFolder.Dir() / "VirtualDrives.ini");
  ScanForControllers(*state);
  FinishScan(*state);
  ASSERT_EQ(state->SelectedDevice, 0);
  testing::RecordingFeedback feedback;
  const PageReadOutput window = ReadPageData(*state, feedback, kPageSmartInfo);
  ASSERT_EQ(window.Status, PageReadStatus::kFailed);
  ASSERT_NE(window.Result, kResultSuccess);

  const WorkFolder folder(faulty);
  const CliRun text = folder.Cli({"read", "smart-data"});
  EXPECT_EQ(text.exitCode, 1);
  const std::string line = ErrorLine(text);
  EXPECT_EQ(line.rfind("dozered-cli: " + window.Message + " on drive 0, ", 0), 0u) << line;
  EXPECT_NE(line.find("; "), std::string::npos) << line;

  const WorkFolder jsonFolder(faulty);
  const CliRun json = jsonFolder.Cli({"read", "smart-data", "--json"});
  EXPECT_EQ(json.exitCode, 1);
  const Json doc = Json::parse(json.out);
  EXPECT_EQ(doc["exit_code"], 1);
  EXPECT_EQ(doc["result"], window.Result);
  EXPECT_EQ(doc["status"], "failed");
  EXPECT_EQ(doc["message"], window.Message);
  EXPECT_FALSE(doc.contains("rows"));
}

}  // namespace
}  // namespace dozered
