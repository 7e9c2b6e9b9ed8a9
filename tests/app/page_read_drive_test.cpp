// ReadPageData against simulated drives: what each page sends, what it shows
// and what it reports.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "app/code_loading.h"
#include "app/config_file.h"
#include "app/paths.h"
#include "app/device_scan.h"
#include "app/page_read.h"
#include "device/virtual_platform.h"
#include "protocol/result_codes.h"
#include "sim/code_images.h"
#include "sim/drive_identity.h"
#include "support/command_fault_drive.h"
#include "support/recording_feedback.h"
#include "support/simulated_drives.h"
#include "support/temp_dir.h"

namespace dozered {
namespace {

using testing::ControllerDrive;
using testing::RecordingFeedback;
using testing::TempDir;
using testing::VendorCommand;
using testing::WireRecorder;

constexpr char kCidLayout[] =
    "[Setting]\r\nUnitSize=1\r\nTotalUnitNum=2\r\n"
    "[Item_0]\r\nItemUnitOffset=0\r\nItemUnitNum=1\r\nItemDesc=First byte\r\n"
    "[Item_1]\r\nItemUnitOffset=1\r\nItemUnitNum=1\r\nItemDesc=Second byte\r\n";

class PageReadDriveTest : public ::testing::Test {
 protected:
  // One simulated drive behind a fault wrapper and a wire recorder.
  void Install(const sim::DriveConfig& config) {
    drive_ = std::make_shared<sim::SimulatedDrive>(config);
    fault_ = std::make_shared<CommandFaultDrive>(drive_);
    wire_ = std::make_shared<WireRecorder>(fault_);
    platform_ = &testing::InstallDisks(*state_, {wire_});
    state_->ExecutableDir = dir_.Path("");
    ResetEnumerator(*state_);
    ScanForControllers(*state_);
    FinishScan(*state_);
    ASSERT_EQ(state_->SelectedDevice, 0);
    wire_->ClearLog();
  }

  PageReadOutput Read(int page) {
    feedback_ = RecordingFeedback();
    wire_->ClearLog();
    return ReadPageData(*state_, feedback_, page);
  }

  std::vector<uint8_t> Opcodes() const {
    std::vector<uint8_t> ops;
    for (const VendorCommand& c : wire_->Commands()) ops.push_back(c.opcode());
    return ops;
  }

  static size_t Lines(const std::string& dump) { return static_cast<size_t>(std::count(dump.begin(), dump.end(), '\n')); }

  void PutDiagnosticFile() {
    const auto isp = sim::MakeIspVersion("V126", "VE01");
    const auto file = sim::BuildDiagnosticFile(sim::DiagnosticKind::kReadBadInfo, isp, false);
    std::filesystem::create_directories(dir_.Path("V126"));
    std::ofstream(dir_.Path("V126/DgISP_ReadBadInfo.bin"), std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  }

  TempDir dir_;
  std::unique_ptr<AppState> state_ = std::make_unique<AppState>();
  RecordingFeedback feedback_;
  std::shared_ptr<sim::SimulatedDrive> drive_;
  std::shared_ptr<CommandFaultDrive> fault_;
  std::shared_ptr<WireRecorder> wire_;
  VirtualPlatform* platform_ = nullptr;
};

TEST_F(PageReadDriveTest, ReadFlashIdRefreshesTheRecordAndTheTemperature) {
  sim::DriveConfig config = ControllerDrive(1);
  config.temperature = 41;
  Install(config);
  state_->CardInfoTable[0].fill(0);
  PageReadOutput out = Read(0);
  EXPECT_EQ(Opcodes(), std::vector<uint8_t>{0x20});
  EXPECT_EQ(wire_->Commands()[0].dataSectors, 4u);
  EXPECT_EQ(state_->CardInfoTable[0][10], 1);
  ASSERT_TRUE(out.Dump);
  EXPECT_EQ(Lines(*out.Dump), 1u + 1616 / 16);
  EXPECT_EQ(out.Temperature, std::optional<uint8_t>(41));
  EXPECT_FALSE(out.List);
  EXPECT_EQ(feedback_.reported, std::vector<std::string>{kReadFlashIdSuccessText});
  EXPECT_EQ(state_->CurrentController, &state_->Controllers[0]);
}

TEST_F(PageReadDriveTest, StoredRecordsNeedNoCommand) {
  Install(ControllerDrive(2));
  struct Case {
    int page;
    size_t bytes;
    const char* message;
  } cases[] = {{1, 512, kReadConfigurationTableSuccessText}, {3, 1616, kReadCardInfoSuccessText}};
  for (const Case& c : cases) {
    PageReadOutput out = Read(c.page);
    EXPECT_TRUE(wire_->Log().empty()) << c.page;
    ASSERT_TRUE(out.Dump && out.List) << c.page;
    EXPECT_EQ(Lines(*out.Dump), 1 + c.bytes / 16);
    EXPECT_FALSE(out.List->empty());
    EXPECT_EQ(feedback_.reported, std::vector<std::string>{c.message});
  }
}

TEST_F(PageReadDriveTest, SmartPageReadsAndDecodesTheAttributes) {
  Install(ControllerDrive(2));
  PageReadOutput out = Read(2);
  ASSERT_EQ(wire_->Commands().size(), 1u);
  const VendorCommand c = wire_->Commands()[0];
  EXPECT_EQ(c.opcode(), 0x3E);
  EXPECT_EQ(c.block[3], 0xD0);
  EXPECT_EQ(c.dataSectors, 1u);
  ASSERT_TRUE(out.Dump && out.List);
  EXPECT_EQ(Lines(*out.Dump), 33u);
  EXPECT_FALSE(out.List->empty());
  EXPECT_EQ(out.List->front().size(), 4u);
  EXPECT_EQ(feedback_.reported, std::vector<std::string>{kReadSmartSuccessText});
}

TEST_F(PageReadDriveTest, EraseCountPageReadsTheTableTwice) {
  Install(ControllerDrive(2));
  PageReadOutput out = Read(4);
  EXPECT_EQ(Opcodes(), (std::vector<uint8_t>{0x42, 0x42}));
  for (const VendorCommand& c : wire_->Commands()) EXPECT_EQ(c.dataSectors, 33u);
  ASSERT_TRUE(out.Dump && out.List);
  EXPECT_EQ(Lines(*out.Dump), 1u + 0x4200 / 16);
  EXPECT_NE(out.Dump->find("000041F0"), std::string::npos);
  // One row per block from the card's start block up to the table's count.
  const int16_t start = static_cast<int16_t>(state_->CardInfoTable[0][384] | state_->CardInfoTable[0][385] << 8);
  const int16_t count = static_cast<int16_t>(state_->PageDataBuffer[16384] | state_->PageDataBuffer[16385] << 8);
  EXPECT_EQ(static_cast<int>(out.List->size()), std::min<int>(count, 8192) - std::max<int>(start, 0));
  EXPECT_EQ(feedback_.reported, std::vector<std::string>{kReadEraseCountSuccessText});
}

TEST_F(PageReadDriveTest, CidPageShowsTheBlockCutFromTheReply) {
  Install(ControllerDrive(2));
  // What the drive answers, read directly.
  std::array<uint8_t, 512> reply{};
  ASSERT_EQ(state_->Controllers[0].ReadCid(reply), kResultSuccess);
  std::ofstream(dir_.Path("CIDTable.ini"), std::ios::binary) << kCidLayout;

  PageReadOutput out = Read(5);
  EXPECT_EQ(Opcodes(), std::vector<uint8_t>{0x47});
  EXPECT_EQ(0, std::memcmp(state_->PageDataBuffer.data(), reply.data() + 32, 128));
  ASSERT_TRUE(out.Dump && out.List);
  EXPECT_EQ(Lines(*out.Dump), 1u + 128 / 16);
  char first[32];
  std::snprintf(first, sizeof first, "First byte : 0x%02X", reply[32]);
  ASSERT_EQ(out.List->size(), 2u);
  EXPECT_EQ((*out.List)[0][0], first);
  EXPECT_EQ(feedback_.reported, std::vector<std::string>{kRetrieveCidSuccessText});
  EXPECT_EQ(platform_->OpenHandleCount(), 0);
}

TEST_F(PageReadDriveTest, CidPageWithoutLayoutShowsOnlyTheDump) {
  Install(ControllerDrive(2));
  PageReadOutput out = Read(5);
  ASSERT_TRUE(out.Dump && out.List);
  EXPECT_TRUE(out.List->empty());
}

TEST_F(PageReadDriveTest, ErrorLogPageShowsSixCounters) {
  Install(ControllerDrive(2));
  PageReadOutput out = Read(13);
  ASSERT_EQ(wire_->Commands().size(), 1u);
  EXPECT_EQ(wire_->Commands()[0].opcode(), 0xA7);
  EXPECT_EQ(wire_->Commands()[0].dataSectors, 2u);
  ASSERT_TRUE(out.Dump && out.List);
  EXPECT_EQ(Lines(*out.Dump), 33u);
  ASSERT_EQ(out.List->size(), 6u);
  EXPECT_EQ((*out.List)[0][0], "Read Error Count");
  EXPECT_EQ(feedback_.reported, std::vector<std::string>{kReadErrorLogSuccessText});
}

// A failed read reports the command's own result code and leaves the views.
TEST_F(PageReadDriveTest, FailedReadsReportTheResultCode) {
  struct Case {
    int page;
    uint8_t opcode;
    const char* format;
  } cases[] = {{2, 0x3E, kReadSmartFailFormat}, {4, 0x42, kReadEraseCountFailFormat}, {5, 0x47, kRetrieveCidFailFormat}};
  for (const Case& c : cases) {
    Install(ControllerDrive(2));
    fault_->FailDataPhaseOf(c.opcode);
    PageReadOutput out = Read(c.page);
    EXPECT_EQ(fault_->FailedDataPhases(), 1) << c.page;
    char expected[64];
    std::snprintf(expected, sizeof expected, c.format, kResultDataPhaseFailed);
    EXPECT_EQ(feedback_.reported, std::vector<std::string>{expected});
    EXPECT_EQ(out.Status, PageReadStatus::kFailed) << c.page;
    EXPECT_EQ(out.Result, kResultDataPhaseFailed) << c.page;
    EXPECT_EQ(out.Message, expected);
    EXPECT_FALSE(out.Dump) << c.page;
    EXPECT_FALSE(out.List) << c.page;
    EXPECT_EQ(platform_->OpenHandleCount(), 0) << "the drive stays open after page " << c.page;
  }
}

// The flash ID and error log pages show what their record holds even when the
// read failed, but say that it failed; the temperature is not taken from it.
TEST_F(PageReadDriveTest, FlashIdAndErrorLogReadsThatFailSaySo) {
  struct Case {
    int page;
    uint8_t opcode;
    const char* format;
  } cases[] = {{0, 0x20, kReadFlashIdFailFormat}, {13, 0xA7, kReadErrorLogFailFormat}};
  for (const Case& c : cases) {
    Install(ControllerDrive(1));
    fault_->FailDataPhaseOf(c.opcode);
    PageReadOutput out = Read(c.page);
    EXPECT_EQ(fault_->FailedDataPhases(), 1) << c.page;
    char expected[64];
    std::snprintf(expected, sizeof expected, c.format, kResultDataPhaseFailed);
    EXPECT_EQ(feedback_.reported, std::vector<std::string>{expected});
    EXPECT_EQ(out.Status, PageReadStatus::kFailed) << c.page;
    EXPECT_EQ(out.Result, kResultDataPhaseFailed) << c.page;
    EXPECT_TRUE(out.Dump) << c.page;
    EXPECT_FALSE(out.Temperature) << c.page;
  }
}

TEST_F(PageReadDriveTest, CidPageOnADriveThatCannotBeOpened) {
  Install(ControllerDrive(2));
  platform_->Disk(0).options.openFails = true;
  PageReadOutput out = Read(5);
  EXPECT_EQ(feedback_.reported, std::vector<std::string>{kAccessDeviceFailText});
  EXPECT_EQ(out.Status, PageReadStatus::kFailed);
  EXPECT_EQ(out.Result, kResultOpenFailed);
  EXPECT_TRUE(wire_->Log().empty());
  EXPECT_FALSE(out.Dump);
}

TEST_F(PageReadDriveTest, MarkBadPageLoadsItsDiagnosticProgramFirst) {
  Install(ControllerDrive(2));
  PutDiagnosticFile();
  PageReadOutput out = Read(10);
  EXPECT_EQ(Opcodes(), (std::vector<uint8_t>{0x2B, 0x43}));
  EXPECT_EQ(wire_->Commands()[0].dataSectors, 6u);
  EXPECT_EQ(wire_->Commands()[1].dataSectors, 16u);
  EXPECT_TRUE(feedback_.boxes.empty());
  ASSERT_TRUE(out.List && out.MarkBadCount);
  const int16_t entries = static_cast<int16_t>(state_->PageDataBuffer[0] | state_->PageDataBuffer[1] << 8);
  EXPECT_EQ(*out.MarkBadCount, std::to_string(entries));
  EXPECT_EQ(out.List->empty(), entries <= 0);
  EXPECT_EQ(feedback_.pendingEventRuns, 1);
  EXPECT_EQ(feedback_.reported, std::vector<std::string>{kParsingMarkBadSuccessText});
  EXPECT_FALSE(out.Dump);
}

TEST_F(PageReadDriveTest, MarkBadPageWithoutItsProgramStillSendsTheRead) {
  Install(ControllerDrive(2));
  PageReadOutput out = Read(10);
  ASSERT_EQ(feedback_.boxes.size(), 1u);
  EXPECT_EQ(feedback_.boxes[0].text, "It can't open " + PathText(DiagnosticCodePathFor(*state_, 0, kDgIspReadBadInfo)));
  EXPECT_EQ(feedback_.boxes[0].caption, "Error");
  EXPECT_EQ(Opcodes(), std::vector<uint8_t>{0x43});
  // The firmware refuses the read without its program: the message stays.
  ASSERT_EQ(feedback_.shown.size(), 1u);
  EXPECT_EQ(feedback_.shown[0].rfind("Read mark bad info fail(", 0), 0u) << feedback_.shown[0];
  EXPECT_TRUE(feedback_.reported.empty());
  ASSERT_TRUE(out.List);
  EXPECT_TRUE(out.List->empty());
  EXPECT_FALSE(out.MarkBadCount);
}

TEST_F(PageReadDriveTest, MarkBadPageFailureShowsTheResultCode) {
  Install(ControllerDrive(1));
  fault_->FailDataPhaseOf(0x43);
  PageReadOutput out = Read(10);
  char expected[64];
  std::snprintf(expected, sizeof expected, kReadMarkBadFailFormat, kResultDataPhaseFailed);
  EXPECT_EQ(feedback_.shown, std::vector<std::string>{expected});
  ASSERT_TRUE(out.List);
  EXPECT_TRUE(out.List->empty());
}

TEST_F(PageReadDriveTest, MarkBadPageInMpispModeNeedsNoProgram) {
  Install(ControllerDrive(1));
  PageReadOutput out = Read(10);
  EXPECT_EQ(Opcodes(), std::vector<uint8_t>{0x43});
  EXPECT_TRUE(feedback_.boxes.empty());
  EXPECT_EQ(feedback_.reported, std::vector<std::string>{kParsingMarkBadSuccessText});
  EXPECT_TRUE(out.MarkBadCount);
}

// A layout file that is there but describes nothing the record holds is
// said in the status line, where "successful" would hide it behind an empty
// list; a missing file is the normal case.
TEST_F(PageReadDriveTest, LayoutFileThatGivesNoRowsIsReported) {
  const std::string utf16("\xFF\xFE[\0S\0", 6);
  struct Case {
    const char* name;
    int page;
    const char* file;
    std::string text;  // nullopt-like: "-" leaves the file out
    PageReadStatus status;
    const char* message;
    bool rows;
  } cases[] = {
      {"no ECTable.ini", 1, "ECTable.ini", "-", PageReadStatus::kRead, kReadConfigurationTableSuccessText, true},
      {"ECTable.ini describing nothing", 1, "ECTable.ini", "[Setting]\r\nUnitSize=0\r\n",
       PageReadStatus::kReadWithNote, "ECTable.ini has no usable layout", false},
      {"ECTable.ini of items outside the record", 1, "ECTable.ini",
       "[Setting]\r\nUnitSize=2\r\nTotalUnitNum=1\r\n[Item_0]\r\nItemUnitOffset=300\r\nItemUnitNum=1\r\nItemDesc=X\r\n",
       PageReadStatus::kReadWithNote, "ECTable.ini has no usable layout", false},
      {"ECTable.ini in UTF-16", 1, "ECTable.ini", utf16, PageReadStatus::kReadWithNote,
       "ECTable.ini is saved as UTF-16 and was not read; save it as ANSI or UTF-8", false},
      {"ECTable.ini too large", 1, "ECTable.ini", std::string(kConfigFileMaxBytes + 1, ';'),
       PageReadStatus::kReadWithNote, "ECTable.ini is larger than 1024 KB and was not read", false},
      {"usable ECTable.ini", 1, "ECTable.ini",
       "\xEF\xBB\xBF[Setting]\r\nUnitSize=2\r\nTotalUnitNum=1\r\n[Item_0]\r\nItemUnitNum=1\r\nItemDesc=Config\r\n",
       PageReadStatus::kRead, kReadConfigurationTableSuccessText, true},
      {"no CIDTable.ini", 5, "CIDTable.ini", "-", PageReadStatus::kRead, kRetrieveCidSuccessText, false},
      {"CIDTable.ini describing nothing", 5, "CIDTable.ini", "[Setting]\r\n", PageReadStatus::kReadWithNote,
       "CIDTable.ini has no usable layout", false},
      {"usable CIDTable.ini", 5, "CIDTable.ini", kCidLayout, PageReadStatus::kRead, kRetrieveCidSuccessText, true},
  };
  for (const Case& c : cases) {
    Install(ControllerDrive(2));
    std::filesystem::remove(dir_.Path(c.file));
    if (c.text != "-") dir_.Write(c.file, c.text);
    PageReadOutput out = Read(c.page);
    EXPECT_EQ(out.Status, c.status) << c.name;
    EXPECT_EQ(out.Result, kResultSuccess) << c.name;
    EXPECT_EQ(feedback_.reported, std::vector<std::string>{c.message}) << c.name;
    ASSERT_TRUE(out.List) << c.name;
    EXPECT_EQ(!out.List->empty(), c.rows) << c.name;
    EXPECT_TRUE(out.Dump) << c.name;
  }
}

// A drive's own String.ini that names no attribute, or cannot be read, does
// not blank the names: the start-up names stand in, and the file is named.
TEST_F(PageReadDriveTest, DrivesStringIniWithoutUsableNamesFallsBackToTheStartUpNames) {
  struct Case {
    const char* name;
    std::string text;
    const char* id9;
    const char* message;
  };
  // The note names the file the way the system writes paths.
  const std::string file = (std::filesystem::path("V126") / "String.ini").string();
  const std::string noNames = file + " names no attribute; the start-up names are used";
  const std::string utf16 = file + " is saved as UTF-16 and was not read; save it as ANSI or UTF-8";
  const Case cases[] = {
      {"names", "[VE4810VO]\r\nID9=Model Hours\r\n", "Model Hours", kReadSmartSuccessText},
      {"names after a byte-order mark", "\xEF\xBB\xBF[VE4810VO]\r\nID9=Model Hours\r\n", "Model Hours",
       kReadSmartSuccessText},
      {"no section", "[Other]\r\nID9=Wrong\r\n", "Startup Hours", noNames.c_str()},
      {"empty names", "[VE4810VO]\r\nID9=\r\nIDC2=\r\n", "Startup Hours", noNames.c_str()},
      {"utf-16", std::string("\xFF\xFE[\0V\0", 6), "Startup Hours", utf16.c_str()},
  };
  for (const Case& c : cases) {
    Install(ControllerDrive(2));
    std::strcpy(state_->AttributeNames[9].data(), "Startup Hours");
    std::filesystem::create_directories(dir_.Path("V126"));
    dir_.Write("V126/String.ini", c.text);
    std::string note;
    EXPECT_EQ(SmartNamesFor(*state_, 0, &note)[9], c.id9) << c.name;
    PageReadOutput out = Read(2);
    EXPECT_EQ(feedback_.reported, std::vector<std::string>{c.message}) << c.name;
    EXPECT_EQ(out.Status, std::string(c.message) == kReadSmartSuccessText ? PageReadStatus::kRead
                                                                           : PageReadStatus::kReadWithNote)
        << c.name;
  }
}

// The drive names the folder its files are read from. A name that reaches
// outside the executable's folder is taken as a folder that does not exist:
// no program from there is sent to the drive, and no names are read there.
TEST_F(PageReadDriveTest, DriveNamingAFolderOutsideTheExecutablesFolderGetsNothingFromThere) {
  sim::DriveConfig config = ControllerDrive(2);
  config.ispFolder = "../evil";
  Install(config);
  state_->ExecutableDir = dir_.Dir() / "exe";
  std::filesystem::create_directories(state_->ExecutableDir);
  std::filesystem::create_directories(dir_.Dir() / "evil");
  const auto program = sim::BuildDiagnosticFile(sim::DiagnosticKind::kReadBadInfo,
                                                sim::MakeIspVersion(config.ispFolder, config.ispTag), false);
  dir_.Write("evil/DgISP_ReadBadInfo.bin", std::string(program.begin(), program.end()));
  dir_.Write("evil/String.ini", "[VE4810VO]\r\nID9=Planted\r\n");
  std::strcpy(state_->AttributeNames[9].data(), "Startup Hours");

  Read(10);
  EXPECT_EQ(Opcodes(), std::vector<uint8_t>{0x43}) << "the planted program was sent";
  ASSERT_EQ(feedback_.boxes.size(), 1u);
  EXPECT_EQ(feedback_.boxes[0].text, "It can't open DgISP_ReadBadInfo.bin");

  EXPECT_EQ(SmartNamesFor(*state_, 0)[9], "Startup Hours");
  EXPECT_TRUE(DiagnosticCodePathFor(*state_, 0, "String.ini").empty());
}

}  // namespace
}  // namespace dozered
