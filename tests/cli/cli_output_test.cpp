// dozered-cli run as a program on the demo's drives: what it prints must be
// what the window shows for the same drive, taken from the app-layer
// operations the window calls, on a fresh copy of the same drives.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/code_loading.h"
#include "app/device_info.h"
#include "app/device_scan.h"
#include "app/page_read.h"
#include "app/page_table.h"
#include "app/startup/platform_setup.h"
#include "app/startup_files.h"
#include "cli/work_folder.h"
#include "protocol/card_info.h"
#include "protocol/record_text.h"
#include "support/recording_feedback.h"
#include "support/temp_dir.h"

namespace dozered {
namespace {

using Json = nlohmann::json;

using testing::Lines;
using testing::WorkFolder;

const std::filesystem::path kMpispSample = std::filesystem::path(DOZERED_DEMO_RUN_DIR) / "MPISP.bin";

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The window's side: the same start-up as the main window's creation, on a
// working folder of its own.
class WindowSide {
 public:
  explicit WindowSide(const std::string& drivesIni = testing::DemoDrivesIni())
      : folder_(drivesIni) {
    state_->ExecutableDir = DOZERED_BESIDE_EXE_DIR;
    SetUpStoragePlatform(*state_, folder_.Dir() / "VirtualDrives.ini");
    StartupFiles files;
    files.StringIni = folder_.Dir() / "String.ini";
    files.TabSheetIni = folder_.Dir() / "TabSheet.ini";
    LoadStartupConfiguration(*state_, files, &feedback_);
    ResetEnumerator(*state_);
    ScanForControllers(*state_);
    entries_ = FinishScan(*state_);
  }

  AppState& State() { return *state_; }
  testing::RecordingFeedback& Feedback() { return feedback_; }
  const std::vector<std::string>& Entries() const { return entries_; }
  uint8_t Mode(int drive) const { return state_->CardInfoTable[drive][card_info_offset::kCardMode]; }

  void Select(int drive) {
    state_->SelectedDevice = drive;
    state_->CurrentController = &state_->Controllers[drive];
  }

 private:
  WorkFolder folder_;
  std::unique_ptr<AppState> state_ = std::make_unique<AppState>();
  testing::RecordingFeedback feedback_;
  std::vector<std::string> entries_;
};

std::string ModeName(uint8_t mode) {
  const std::string line = CodeModeLine(mode);
  return line.empty() ? "Normal Firmware" : line;
}

// The JSON keys of each page's list columns.
const std::map<int, std::vector<std::string>> kRowKeys = {
    {kPageIdentifyTable, {"item", "description"}},
    {kPageSmartInfo, {"id", "current", "worst", "raw_data"}},
    {kPageCardInfo, {"item"}},
    {kPageEraseCount, {"block", "count"}},
    {kPageCidOption, {"item"}},
    {kPageMarkBadInfo, {"block", "page", "fail_reason", "ce", "channel", "plane", "erase_counts"}},
    {kPageErrorLog, {"item", "value"}},
};

enum class What { kScan, kInfo, kPage };

struct Case {
  std::vector<std::string> args;
  What what;
  int drive = 0;
  int page = -1;
  bool redact = false;
};

// Each subcommand's text equals the window's list, device panel, dump and
// rows; its JSON document carries the same values.
TEST(CliOutputTest, TextAndJsonEqualWhatTheWindowShows) {
  const Case cases[] = {
      {{"scan"}, What::kScan},
      {{"info"}, What::kInfo, 0},
      {{"--drive", "2", "info"}, What::kInfo, 2},
      {{"info", "--drive", "3"}, What::kInfo, 3},
      {{"--redact", "info"}, What::kInfo, 0, -1, true},
      {{"read", "read-flash-id"}, What::kPage, 0, kPageReadFlashId},
      {{"read", "Identify Table"}, What::kPage, 0, kPageIdentifyTable},
      {{"--redact", "read", "identify-table"}, What::kPage, 0, kPageIdentifyTable, true},
      {{"read", "smart-data"}, What::kPage, 0, kPageSmartInfo},
      {{"read", "smart-info", "--drive", "1"}, What::kPage, 1, kPageSmartInfo},
      {{"read", "card-info"}, What::kPage, 0, kPageCardInfo},
      {{"read", "4"}, What::kPage, 0, kPageEraseCount},
      {{"read", "cid-option"}, What::kPage, 0, kPageCidOption},
      {{"--redact", "read", "cid-option"}, What::kPage, 0, kPageCidOption, true},
      {{"read", "mark-bad-info"}, What::kPage, 0, kPageMarkBadInfo},
      {{"--drive", "2", "read", "read-flash-id"}, What::kPage, 2, kPageReadFlashId},
      {{"--drive", "2", "read", "identify-table"}, What::kPage, 2, kPageIdentifyTable},
      {{"--drive", "2", "read", "card-info"}, What::kPage, 2, kPageCardInfo},
      {{"--drive", "2", "read", "mark-bad-info"}, What::kPage, 2, kPageMarkBadInfo},
      {{"--drive", "2", "read", "error_log"}, What::kPage, 2, kPageErrorLog},
      {{"--drive", "3", "read", "read-flash-id"}, What::kPage, 3, kPageReadFlashId},
  };
  for (const Case& c : cases) {
    std::string name;
    for (const std::string& a : c.args) name += a + " ";
    SCOPED_TRACE(name);

    WindowSide window;
    window.State().RedactSerialNumbers = c.redact;
    std::vector<std::string> expected;
    PageReadOutput page;
    DeviceInfo info;
    if (c.what == What::kScan) {
      for (int i = 0; i < window.State().DeviceCount; ++i) {
        expected.push_back(std::to_string(i) + "\t" + window.Entries()[i] + "\t" + ModeName(window.Mode(i)));
      }
    } else {
      window.Select(c.drive);
      info = SelectedDeviceInfo(window.State());
      if (c.what == What::kInfo) {
        expected = info.lines;
      } else {
        page = ReadPageData(window.State(), window.Feedback(), c.page);
        ASSERT_EQ(page.Status, PageReadStatus::kRead) << page.Message;
        if (page.Dump) expected = Lines(*page.Dump);
        if (page.List) {
          if (page.Dump) expected.push_back("");
          for (const Row& row : *page.List) {
            std::string line;
            for (size_t i = 0; i < row.size(); ++i) line += (i ? "\t" : "") + row[i];
            expected.push_back(line);
          }
        }
        if (page.MarkBadCount) expected.push_back("Total: " + *page.MarkBadCount);
      }
    }

    const WorkFolder folder;
    const testing::CliRun text = folder.Cli(c.args);
    EXPECT_EQ(text.exitCode, 0) << text.err;
    EXPECT_EQ(Lines(text.out), expected);

    const WorkFolder jsonFolder;
    std::vector<std::string> jsonArgs = c.args;
    jsonArgs.push_back("--json");
    const testing::CliRun run = jsonFolder.Cli(jsonArgs);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Json doc = Json::parse(run.out);
    EXPECT_EQ(doc["format_version"], 1);
    EXPECT_EQ(doc["exit_code"], 0);
    EXPECT_EQ(doc["result"], 0);
    EXPECT_EQ(doc["flash_option"], 0x21);
    EXPECT_EQ(doc["flash_chce"], 0x00);
    if (c.what == What::kScan) {
      EXPECT_EQ(doc["command"], "scan");
      EXPECT_TRUE(doc["drive"].is_null());
      ASSERT_EQ(doc["drives"].size(), static_cast<size_t>(window.State().DeviceCount));
      for (int i = 0; i < window.State().DeviceCount; ++i) {
        const Json& drive = doc["drives"][static_cast<size_t>(i)];
        const DriveIdentity id = IdentityOf(window.State().CardInfoTable[i], window.State().IdentifyTable[i]);
        EXPECT_EQ(drive["index"], i);
        EXPECT_EQ(drive["entry"], window.Entries()[i]);
        EXPECT_EQ(drive["port"], window.State().Controllers[i].Port);
        EXPECT_EQ(drive["target"], window.State().Controllers[i].Target);
        EXPECT_EQ(drive["code_mode"], window.Mode(i));
        EXPECT_EQ(drive["code_mode_name"], ModeName(window.Mode(i)));
        EXPECT_EQ(drive["serial_number"], Trimmed(id.serialNumber));
        EXPECT_EQ(drive["model_name"], Trimmed(id.modelName));
        EXPECT_EQ(drive["firmware_revision"], Trimmed(id.firmwareRevision));
        EXPECT_EQ(drive["capacity_mb"], id.capacityMegabytes);
        EXPECT_EQ(drive["temperature"], id.temperature);
        EXPECT_EQ(drive["flash_vendor"], FlashVendorName(id.flashMakerId));
      }
      continue;
    }
    EXPECT_EQ(doc["drive"]["index"], c.drive);
    EXPECT_EQ(doc["drive"]["entry"], window.Entries()[c.drive]);
    const std::string serialLine = info.lines.size() > 4 ? info.lines[info.lines.size() - 5] : "";
    ASSERT_EQ(serialLine.rfind("Serial Number: ", 0), 0u) << serialLine;
    EXPECT_EQ(doc["drive"]["serial_number"], Trimmed(serialLine.substr(15)));
    if (c.what == What::kInfo) {
      EXPECT_EQ(doc["command"], "info");
      EXPECT_EQ(doc["lines"], info.lines);
      EXPECT_EQ(doc["rom_code_mode"], info.romCodeMode);
      continue;
    }
    EXPECT_EQ(doc["command"], "read");
    EXPECT_EQ(doc["page"]["index"], c.page);
    EXPECT_EQ(doc["page"]["name"], kPages[c.page].TabSheetName);
    EXPECT_EQ(doc["status"], "read");
    EXPECT_EQ(doc["message"], page.Message);
    if (page.Dump) {
      EXPECT_EQ(doc["dump"], Lines(*page.Dump));
    } else {
      EXPECT_FALSE(doc.contains("dump"));
    }
    if (page.List) {
      const std::vector<std::string>& keys = kRowKeys.at(c.page);
      ASSERT_EQ(doc["rows"].size(), page.List->size());
      for (size_t r = 0; r < page.List->size(); ++r) {
        const Row& row = (*page.List)[r];
        for (size_t k = 0; k < keys.size(); ++k) {
          EXPECT_EQ(doc["rows"][r][keys[k]], k < row.size() ? row[k] : "") << "row " << r << " " << keys[k];
        }
      }
    } else {
      EXPECT_FALSE(doc.contains("rows"));
    }
    if (page.MarkBadCount) {
      EXPECT_EQ(doc["mark_bad_count"], *page.MarkBadCount);
    }
  }
}

// "MP ISP" from the command line: the same outcome and device information as
// the window's load, and the drive stays in MPISP code mode for the next run.
TEST(CliOutputTest, LoadMpispBringsTheRomCodeDriveToMpispModeAsTheWindowDoes) {
  ASSERT_TRUE(std::filesystem::exists(kMpispSample)) << "the build writes the sample files";
  WindowSide window;
  int rom = -1;
  for (int i = 0; i < window.State().DeviceCount && rom < 0; ++i) {
    if (window.Mode(i) == kCardModeRomCode) rom = i;
  }
  ASSERT_GE(rom, 0);
  window.Select(rom);
  ASSERT_TRUE(LoadMpisp(window.State(), window.Feedback(), [] { return kMpispSample; }));

  const WorkFolder folder;
  const testing::CliRun load = folder.Cli({"--drive", std::to_string(rom), "--json", "load-mpisp", kMpispSample.string()});
  ASSERT_EQ(load.exitCode, 0) << load.err;
  const Json doc = Json::parse(load.out);
  EXPECT_EQ(doc["outcome"], "loaded");
  EXPECT_EQ(doc["code_mode_before"], kCardModeRomCode);
  EXPECT_EQ(doc["code_mode_after"], kCardModeMpisp);
  EXPECT_EQ(doc["lines"], SelectedDeviceInfo(window.State()).lines);
  EXPECT_NE(load.err.find("Message: Load MPISP finish!"), std::string::npos) << load.err;

  const testing::CliRun scan = folder.Cli({"scan"});
  ASSERT_EQ(scan.exitCode, 0);
  EXPECT_EQ(Lines(scan.out)[static_cast<size_t>(rom)],
            std::to_string(rom) + "\t" + window.Entries()[rom] + "\tMPISP Code Mode");
}

// The option bytes reach the process-wide state the flash commands read.
TEST(CliOutputTest, OptionBytesAreStoredForTheFlashCommands) {
  struct Case {
    std::vector<std::string> args;
    int option;
    int chce;
  } cases[] = {
      {{"info"}, 0x21, 0x00},
      {{"--option", "0x2B", "--chce", "5", "info"}, 0x2B, 0x05},
      {{"info", "--option", "A0", "--chce", "0X1f"}, 0xA0, 0x1F},
  };
  const WorkFolder folder;
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.push_back("--json");
    const testing::CliRun run = folder.Cli(args);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Json doc = Json::parse(run.out);
    EXPECT_EQ(doc["flash_option"], c.option) << args[1];
    EXPECT_EQ(doc["flash_chce"], c.chce) << args[1];
  }
}

}  // namespace
}  // namespace dozered
