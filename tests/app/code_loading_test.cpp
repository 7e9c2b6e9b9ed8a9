#include "app/code_loading.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/device_scan.h"
#include "protocol/result_codes.h"
#include "sim/code_images.h"
#include "support/protocol_rig.h"
#include "support/recording_feedback.h"
#include "support/simulated_drives.h"
#include "support/temp_dir.h"

namespace dozered {
namespace {

using testing::ControllerDrive;
using testing::RecordedMessageBox;
using testing::VendorCommand;

constexpr uint32_t kLoadAddress = 0x00020000;

std::vector<uint8_t> Opcodes(const std::vector<VendorCommand>& commands) {
  std::vector<uint8_t> out;
  for (const VendorCommand& c : commands) out.push_back(c.opcode());
  return out;
}

class CodeLoadingTest : public ::testing::Test {
 protected:
  // Scans `drive` as the only drive, selects it and clears the wire log.
  void UseDrive(const sim::DriveConfig& drive) {
    recorder_ = testing::InstallDrives(*state_, {drive})[0];
    ScanForControllers(*state_);
    FinishScan(*state_);
    ASSERT_EQ(state_->SelectedDevice, 0);
    recorder_->ClearLog();
    state_->ExecutableDir = dir_.Path("exe");
  }

  std::array<uint8_t, 16> IspVersion() const {
    std::array<uint8_t, 16> version{};
    std::copy_n(state_->IspInfoTable[0].begin() + 404, 16, version.begin());
    return version;
  }

  std::string WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    return dir_.Write(name, std::string(bytes.begin(), bytes.end()));
  }

  // Runs LoadMpisp with a dialog that answers `path` and counts its calls.
  // The outcome is kept in last_.
  bool Load(const std::string& path) {
    last_ = LoadMpisp(*state_, feedback_, [&] {
      ++dialogs_;
      return path;
    });
    return static_cast<bool>(last_);
  }

  uint8_t Mode() const { return state_->CardInfoTable[0][10]; }

  testing::TempDir dir_;
  std::unique_ptr<AppState> state_ = std::make_unique<AppState>();
  testing::RecordingFeedback feedback_;
  std::shared_ptr<testing::WireRecorder> recorder_;
  int dialogs_ = 0;
  MpispLoadOutcome last_;
};

TEST_F(CodeLoadingTest, DownloadsTheImageIn64KiBPiecesAndStartsIt) {
  struct Case {
    size_t imageBytes;
    std::vector<uint32_t> pieceSectors;
  } cases[] = {{65536, {128}}, {65537, {128, 1}}, {700, {2}}, {3 * 65536 + 512, {128, 128, 128, 1}}};
  for (const Case& c : cases) {
    UseDrive(ControllerDrive(0));
    const std::string path = WriteFile("MPISP.bin", sim::BuildMpispFile(IspVersion(), c.imageBytes, kLoadAddress));
    ASSERT_TRUE(Load(path)) << c.imageBytes;
    EXPECT_TRUE(feedback_.boxes.empty());
    EXPECT_EQ(Mode(), 1) << "the drive runs the MPISP code now";

    const auto commands = recorder_->Commands();
    std::vector<uint8_t> expected = {0x20, 0x3F, 0x04, 0x20};
    expected.insert(expected.end(), c.pieceSectors.size(), 0x27);
    expected.insert(expected.end(), {0x28, 0x20, 0x3F, 0x04});
    ASSERT_EQ(Opcodes(commands), expected) << c.imageBytes;
    for (size_t i = 0; i < c.pieceSectors.size(); ++i) {
      const VendorCommand& piece = commands[4 + i];
      EXPECT_EQ(piece.LittleEndianAt(6), kLoadAddress + i * 65536) << c.imageBytes << " " << i;
      EXPECT_EQ(piece.dataSectors, c.pieceSectors[i]) << c.imageBytes << " " << i;
    }
    const VendorCommand& jump = commands[4 + c.pieceSectors.size()];
    EXPECT_EQ(jump.LittleEndianAt(6), kLoadAddress);
    EXPECT_EQ(jump.dataSectors, 1u);
  }
}

TEST_F(CodeLoadingTest, NormalFirmwareIsSwitchedToRomCodeModeFirst) {
  UseDrive(ControllerDrive(2));
  const std::string path = WriteFile("MPISP.bin", sim::BuildMpispFile(IspVersion(), 4096, kLoadAddress));
  ASSERT_TRUE(Load(path));
  EXPECT_EQ(Opcodes(recorder_->Commands()),
            (std::vector<uint8_t>{0x20, 0x3F, 0x04, 0x2C, 0x20, 0x27, 0x28, 0x20, 0x3F, 0x04}));
  EXPECT_EQ(recorder_->Commands()[3].block[2], 1) << "EnterRomCodeMode with value 1";
  EXPECT_EQ(Mode(), 1);
}

TEST_F(CodeLoadingTest, DriveAlreadyInMpispModeNeedsNoFile) {
  UseDrive(ControllerDrive(1));
  EXPECT_TRUE(Load("never asked"));
  EXPECT_EQ(last_.End, MpispLoadEnd::kAlreadyRunning);
  EXPECT_EQ(dialogs_, 0);
  EXPECT_TRUE(feedback_.boxes.empty());
  EXPECT_EQ(Opcodes(recorder_->Commands()), (std::vector<uint8_t>{0x20, 0x3F, 0x04}));
}

TEST_F(CodeLoadingTest, AFailingPieceEndsTheLoad) {
  UseDrive(ControllerDrive(0));
  const std::string path =
      WriteFile("MPISP.bin", sim::BuildMpispFile(IspVersion(), 3 * 65536, kLoadAddress));
  recorder_->failDataOut = [](const std::vector<uint8_t>& block, const testing::WireAccess&) {
    return block[1] == 0x27 && block[8] == 0x03;  // the piece at kLoadAddress + 0x10000
  };
  EXPECT_FALSE(Load(path));
  EXPECT_EQ(last_.End, MpispLoadEnd::kDownloadFailed);
  EXPECT_EQ(last_.Result, kResultDataPhaseFailed);
  EXPECT_EQ(feedback_.boxes,
            (std::vector<RecordedMessageBox>{{"Load MPISP Fail!", "Error", MessageIcon::Error}}));
  const auto commands = recorder_->Commands();
  ASSERT_EQ(Opcodes(commands), (std::vector<uint8_t>{0x20, 0x3F, 0x04, 0x20, 0x27, 0x27}));
  EXPECT_TRUE(commands.back().dataFailed);
  EXPECT_EQ(Mode(), 0);
}

TEST_F(CodeLoadingTest, AFailingJumpIsReported) {
  UseDrive(ControllerDrive(0));
  const std::string path = WriteFile("MPISP.bin", sim::BuildMpispFile(IspVersion(), 2048, kLoadAddress));
  recorder_->failDataOut = [](const std::vector<uint8_t>& block, const testing::WireAccess&) {
    return block[1] == 0x28;
  };
  EXPECT_FALSE(Load(path));
  EXPECT_EQ(last_.End, MpispLoadEnd::kJumpFailed);
  EXPECT_EQ(last_.Result, kResultDataPhaseFailed);
  EXPECT_EQ(feedback_.boxes,
            (std::vector<RecordedMessageBox>{{"Jump MPISP Fail!", "Error", MessageIcon::Error}}));
}

// A disk that carries the signature at offset 46 but is no controller stores
// every command as data: each command "succeeds", its card information is
// the stored command block (code mode 0), and after the jump it still does
// not run the MPISP code.
TEST_F(CodeLoadingTest, ADriveThatDoesNotRunTheCodeAfterTheJumpIsAFailedJump) {
  auto recorder = std::make_shared<testing::WireRecorder>(testing::MakeSignedPlainDisk());
  testing::InstallDisks(*state_, {recorder});
  ScanForControllers(*state_);
  FinishScan(*state_);
  ASSERT_EQ(state_->SelectedDevice, 0);
  ASSERT_EQ(Mode(), 0) << "taken for a drive in ROM code mode";
  state_->ExecutableDir = dir_.Path("exe");
  const std::string path =
      WriteFile("MPISP.bin", sim::BuildMpispFile(std::array<uint8_t, 16>{}, 4096, kLoadAddress));
  EXPECT_FALSE(Load(path));
  EXPECT_EQ(feedback_.boxes,
            (std::vector<RecordedMessageBox>{{"Jump MPISP Fail!", "Error", MessageIcon::Error}}));
}

// A failure that may have left vendor data in the user's sector says so.
TEST_F(CodeLoadingTest, AFailedPieceWhoseSectorCannotBeRestoredNamesTheLba) {
  auto disk = testing::MakeSignedPlainDisk();
  auto recording = std::make_shared<testing::RecordingDrive>(disk);
  testing::InstallDisks(*state_, {recording});
  ScanForControllers(*state_);
  FinishScan(*state_);
  ASSERT_EQ(state_->SelectedDevice, 0);
  const std::string path =
      WriteFile("MPISP.bin", sim::BuildMpispFile(std::array<uint8_t, 16>{}, 4096, kLoadAddress));
  // Only the download's writes reach beyond the command address: its data
  // phase fails, and so does every write back of the sectors it saved.
  recording->FailLba(0x55AA + 1, /*writesOnly=*/true);
  EXPECT_FALSE(Load(path));
  ASSERT_EQ(feedback_.boxes.size(), 1u);
  EXPECT_EQ(feedback_.boxes[0].text,
            "Load MPISP Fail!\nLBA 0x55AA could not be written back: from there on the drive may hold "
            "vendor command data instead of your data.");
}

TEST_F(CodeLoadingTest, NoUsableFileSendsNothingToTheCode) {
  const std::string headerOnly = WriteFile("Header.bin", std::vector<uint8_t>(1024, 0x11));
  struct Case {
    std::string path;
    const char* message;
    MpispLoadEnd end;
  } cases[] = {
      {"", "It can't open MPISP.bin file", MpispLoadEnd::kFileUnreadable},  // the dialog was cancelled
      {dir_.Path("Missing.bin"), "It can't open MPISP.bin file", MpispLoadEnd::kFileUnreadable},
      {dir_.Path(""), "It can't open MPISP.bin file", MpispLoadEnd::kFileUnreadable},  // a folder
      {headerOnly, "MPISP.bin file has no code image!", MpispLoadEnd::kNoImage},
  };
  for (const Case& c : cases) {
    UseDrive(ControllerDrive(2));
    feedback_.boxes.clear();
    EXPECT_FALSE(Load(c.path)) << c.path;
    EXPECT_EQ(last_.End, c.end) << c.path;
    EXPECT_EQ(feedback_.boxes, (std::vector<RecordedMessageBox>{{c.message, "Error", MessageIcon::Error}}))
        << c.path;
    EXPECT_EQ(Opcodes(recorder_->Commands()), (std::vector<uint8_t>{0x20, 0x3F, 0x04})) << c.path;
    EXPECT_EQ(Mode(), 2);
  }
}

TEST_F(CodeLoadingTest, NothingHappensWithoutASelectedDrive) {
  UseDrive(ControllerDrive(0));
  state_->SelectedDevice = -1;
  EXPECT_FALSE(Load("MPISP.bin"));
  EXPECT_EQ(last_.End, MpispLoadEnd::kNoDrive);
  EXPECT_EQ(dialogs_, 0);
  EXPECT_TRUE(feedback_.boxes.empty());
  EXPECT_TRUE(recorder_->Log().empty());
}

class DiagnosticCodeFileTest : public CodeLoadingTest {
 protected:
  void UseFirmwareDrive(const char* ispTag) {
    sim::DriveConfig drive = ControllerDrive(2);
    drive.firmware = "P0A10001";
    drive.ispFolder = "V10";
    drive.ispTag = ispTag;
    UseDrive(drive);
  }

  // Writes a diagnostic file below the executable's folder.
  void Place(const std::string& folder, const std::vector<uint8_t>& bytes,
             const std::string& name = kDgIspReadBadInfo) {
    std::filesystem::create_directories(dir_.Path("exe/" + folder));
    WriteFile("exe/" + folder + "/" + name, bytes);
  }

  bool LoadFile(const std::string& name = kDgIspReadBadInfo) {
    payload_.fill(0xEE);
    address_ = 0;
    return LoadDiagnosticCodeFile(*state_, feedback_, name, payload_, address_);
  }

  std::vector<RecordedMessageBox> ErrorBox(const std::string& text) {
    return {{text, "Error", MessageIcon::Error}};
  }

  std::array<uint8_t, kDiagnosticCodeBufferSize> payload_{};
  uint32_t address_ = 0;
};

TEST_F(DiagnosticCodeFileTest, SndkDrivesLookInTheRevisionSubfolder) {
  struct Case {
    const char* tag;
    std::string folder;
  } cases[] = {{"SNDK", "V10/P0A"}, {"VE01", "V10"}};
  for (const Case& c : cases) {
    UseFirmwareDrive(c.tag);
    feedback_.boxes.clear();
    EXPECT_FALSE(LoadFile()) << c.tag;
    const std::filesystem::path expected =
        std::filesystem::path(dir_.Path("exe")) / std::filesystem::path(c.folder).make_preferred() / kDgIspReadBadInfo;
    EXPECT_EQ(feedback_.boxes, ErrorBox("It can't open " + expected.string()))
        << c.tag;

    Place(c.folder, sim::BuildDiagnosticFile(sim::DiagnosticKind::kReadBadInfo, IspVersion(), false));
    feedback_.boxes.clear();
    EXPECT_TRUE(LoadFile()) << c.tag;
    EXPECT_TRUE(feedback_.boxes.empty()) << c.tag;
    EXPECT_EQ(address_, 0xE400u);
    EXPECT_EQ(state_->CurrentController, &state_->Controllers[0]);
    std::filesystem::remove_all(dir_.Path("exe"));
  }
}

TEST_F(DiagnosticCodeFileTest, TheLoadedProgramUnlocksTheDiagnosticRead) {
  UseFirmwareDrive("VE01");
  std::vector<uint8_t> markBad(8192);
  VE4810VO& controller = state_->Controllers[0];
  EXPECT_NE(controller.ReadMarkBadInfo(16, markBad), 0) << "refused before the program is loaded";

  Place("V10", sim::BuildDiagnosticFile(sim::DiagnosticKind::kReadBadInfo, IspVersion(), true, 0xE800));
  ASSERT_TRUE(LoadFile());
  EXPECT_EQ(address_, 0xE800u);
  EXPECT_EQ(controller.LoadDiagnosticCode(address_, kDiagnosticCodeSectors, payload_), 0);
  EXPECT_EQ(controller.ReadMarkBadInfo(16, markBad), 0);
}

TEST_F(DiagnosticCodeFileTest, FilesThatDoNotFitTheDriveAreRefused) {
  UseFirmwareDrive("VE01");
  std::array<uint8_t, 16> other = IspVersion();
  other[15] ^= 0x01;
  std::vector<uint8_t> large = sim::BuildDiagnosticFile(sim::DiagnosticKind::kReadBadInfo, IspVersion(), false);
  large.insert(large.begin(), 1024, 0x00);  // 4,096 bytes, trailer still matching
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    std::string message;
  } cases[] = {
      {"other version", sim::BuildDiagnosticFile(sim::DiagnosticKind::kReadBadInfo, other, false),
       "DgISP_ReadBadInfo.bin no match ISP version"},
      {"shorter than its trailer", std::vector<uint8_t>(31, 0x20),
       "DgISP_ReadBadInfo.bin no match ISP version"},
      {"header without payload", std::vector<uint8_t>{'D', 'G', 'I', 'S', 'P', 'H', 'E', 'A', 'D',
                                                      'E', 'R', 0, 0, 0, 0, 0, 0, 0xE8, 0, 0},
       "DgISP_ReadBadInfo.bin no match ISP version"},
      {"larger than the buffer", large, "DgISP_ReadBadInfo.bin is too large"},
  };
  for (const Case& c : cases) {
    Place("V10", c.bytes);
    feedback_.boxes.clear();
    EXPECT_FALSE(LoadFile()) << c.name;
    EXPECT_EQ(feedback_.boxes, ErrorBox(c.message)) << c.name;
  }
}

TEST_F(DiagnosticCodeFileTest, ASmallProgramLeavesTheRestOfTheBufferZero) {
  UseFirmwareDrive("VE01");
  std::vector<uint8_t> bytes(1000, 0x5A);
  const auto version = IspVersion();
  std::copy(version.begin(), version.end(), bytes.end() - 32);
  Place("V10", bytes);
  ASSERT_TRUE(LoadFile());
  EXPECT_EQ(payload_[999], 0x00 + bytes[999]);
  EXPECT_EQ(payload_[1000], 0x00);
  EXPECT_EQ(payload_[3071], 0x00);
}

}  // namespace
}  // namespace dozered
