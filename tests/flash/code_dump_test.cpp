// DumpISP and DumpInfo against a simulated drive: folders, files, what each
// read sends, where a position's dump ends, failures and the progress bar.
#include "flash/code_dump.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <numeric>

#include "app/device_scan.h"
#include "app/paths.h"
#include "device/virtual_platform.h"
#include "protocol/card_info.h"
#include "protocol/result_codes.h"
#include "sim/simulated_drive.h"
#include "support/command_fault_drive.h"
#include "support/recording_feedback.h"
#include "support/simulated_drives.h"
#include "support/temp_dir.h"
#include "support/wire_recorder.h"

namespace dozered {
namespace {

using testing::ControllerDrive;
using testing::RecordedMessageBox;
using testing::VendorCommand;
using testing::WireRecorder;

constexpr LocalDate kDecember9{12, 9};
constexpr size_t kPageBytes = 16384;  // the simulated drive's pages: S = 32 sectors

// Keeps the progress bar's positions, and can ask for a cancel after a number
// of pending-event turns.
class DumpFeedback : public testing::RecordingFeedback {
 public:
  void Progress(int maximum, int position) override {
    maximums.push_back(maximum);
    positions.push_back(position);
    if (onProgress) onProgress();
  }
  bool CancelRequested() override { return cancelAfter >= 0 && pendingEventRuns > cancelAfter; }
  std::vector<int> maximums;
  std::vector<int> positions;
  int cancelAfter = -1;
  std::function<void()> onProgress;  // runs at every step, inside the dump
};

std::vector<std::string> FilesIn(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<uint8_t> FileBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class CodeDumpTest : public ::testing::Test {
 protected:
  void Install(sim::DriveConfig config = ControllerDrive(2)) {
    drive_ = std::make_shared<sim::SimulatedDrive>(config);
    fault_ = std::make_shared<CommandFaultDrive>(drive_);
    wire_ = std::make_shared<WireRecorder>(fault_);
    testing::InstallDisks(*state_, {wire_});
    ResetEnumerator(*state_);
    ScanForControllers(*state_);
    FinishScan(*state_);
    ASSERT_EQ(state_->SelectedDevice, 0);
    place_.Base = dir_.Dir();
    place_.Today = [] { return kDecember9; };
  }

  DumpOutcome Dump(DumpKind kind) {
    feedback_ = DumpFeedback();
    wire_->ClearLog();
    return DumpControllerArea(*state_, feedback_, kind, place_);
  }

  std::span<uint8_t> Card() { return std::span<uint8_t>(state_->CardInfoTable[0]).first(kCardInfoSize); }
  void SetBlocks(uint32_t offset, uint16_t first, uint16_t second) {
    Card()[offset] = static_cast<uint8_t>(first);
    Card()[offset + 1] = static_cast<uint8_t>(first >> 8);
    Card()[offset + 2] = static_cast<uint8_t>(second);
    Card()[offset + 3] = static_cast<uint8_t>(second >> 8);
  }

  // Leaves only the chips at the given (CE, channel) positions in the tool's
  // copy of the card information, so that a dump reads only there.
  void OnlyPositions(std::initializer_list<std::pair<int, int>> positions) {
    std::vector<uint8_t> ids(Card().begin() + 48, Card().begin() + 48 + 256);
    std::fill(Card().begin() + 48, Card().begin() + 48 + 256, 0);
    for (const auto& [ce, channel] : positions) {
      const size_t at = static_cast<size_t>(32 * ce + 8 * channel);
      std::copy_n(ids.begin() + static_cast<std::ptrdiff_t>(at), 8, Card().begin() + 48 + static_cast<std::ptrdiff_t>(at));
    }
  }

  // Erases a block at one position: one plane, or all with `plane` -1.
  void Erase(uint16_t block, int channel, int ce, int plane) {
    FlashAddress address;
    address.block = block;
    address.option = plane < 0 ? 0 : static_cast<uint8_t>(0x04 | plane << 6);
    address.chCe = static_cast<uint8_t>(channel | ce << 3);
    std::vector<uint8_t> reply(3 * 512);
    ASSERT_EQ(state_->Controllers[0].EraseFlash(address, 3, reply), kResultSuccess);
  }

  int Planes() const { return drive_->config().geometry.planes; }
  size_t IspFileBytes() const { return drive_->model().flash.IspPageCount() * Planes() * kPageBytes; }
  size_t InfoFileBytes() const { return drive_->model().flash.InfoPageCount() * Planes() * kPageBytes; }

  testing::TempDir dir_;
  std::unique_ptr<AppState> state_ = std::make_unique<AppState>();
  DumpFeedback feedback_;
  DumpPlace place_;
  std::shared_ptr<sim::SimulatedDrive> drive_;
  std::shared_ptr<CommandFaultDrive> fault_;
  std::shared_ptr<WireRecorder> wire_;
};

// A drive with 4 channels and 2 CEs: 2 copies x 8 positions, and the bar
// still advances over all 64 places.
TEST_F(CodeDumpTest, EveryPopulatedPositionGivesOneFilePerCopy) {
  sim::DriveConfig config = ControllerDrive(2);
  config.geometry.ces = 2;
  Install(config);
  const DumpOutcome out = Dump(DumpKind::kIsp);
  EXPECT_EQ(out.Status, FlashStatus::kDone);
  EXPECT_EQ(out.Folder, dir_.Dir() / "DumpISP_1209_0000");
  const std::vector<std::string> files = FilesIn(out.Folder);
  ASSERT_EQ(files.size(), 16u);
  EXPECT_EQ(out.FilesWritten, 16);
  EXPECT_EQ(files.front(), "DumpISP_Block02_CH00_CE00.bin");
  EXPECT_EQ(files.back(), "DumpISP_Block03_CH03_CE01.bin");
  for (const std::string& name : files) EXPECT_EQ(std::filesystem::file_size(out.Folder / name), IspFileBytes()) << name;

  std::vector<int> expected(65);
  std::iota(expected.begin(), expected.end(), 0);
  EXPECT_EQ(feedback_.positions, expected);
  EXPECT_EQ(feedback_.maximums, std::vector<int>(65, 64));
  EXPECT_EQ(feedback_.shown, (std::vector<std::string>{"Waitting......", "Dump ISP successful"}));
  EXPECT_TRUE(feedback_.reported.empty()) << "the final status stays";
  EXPECT_EQ(feedback_.boxes, (std::vector<RecordedMessageBox>{{"Dump ISP finish!", "Message", MessageIcon::Information}}));
  EXPECT_FALSE(feedback_.RunOpen());
  // Pending events are let through before every read (and once at the start).
  EXPECT_EQ(static_cast<size_t>(feedback_.pendingEventRuns), wire_->Commands().size() + 1);
}

// Each read: block, page, chunk 0, the kind's option byte with the plane in
// bits 6-7, the target CH + 8 x CE (plus "Enable Max ECC" for information
// pages 0 and 1), and S + 1 sectors.
TEST_F(CodeDumpTest, ReadsCarryTheOptionAndTargetOfTheirKindAndPlane) {
  Install();
  OnlyPositions({{2, 1}});
  struct Case {
    DumpKind kind;
    uint16_t block;
    uint8_t option;
    // target byte of pages 0, 1, 2 at CH 1, CE 2 (0x11)
    uint8_t targets[3];
  } cases[] = {
      {DumpKind::kIsp, 2, 0x15, {0x11, 0x11, 0x11}},
      {DumpKind::kInfo, 4, 0x35, {0x51, 0x51, 0x11}},
  };
  for (const Case& c : cases) {
    Dump(c.kind);
    const std::vector<VendorCommand> reads = wire_->Commands();
    ASSERT_GE(reads.size(), 3u * Planes());
    for (size_t i = 0; i < 3u * Planes(); ++i) {
      const VendorCommand& read = reads[i];
      const int page = static_cast<int>(i) / Planes();
      const int plane = static_cast<int>(i) % Planes();
      EXPECT_EQ(read.opcode(), 0x0A);
      EXPECT_EQ(read.block[2] << 8 | read.block[3], c.block);
      EXPECT_EQ(read.block[4] | read.block[12] << 8, page);
      EXPECT_EQ(read.block[5], 0) << "chunk";
      EXPECT_EQ(read.block[8], c.option + 64 * plane) << "page " << page << " plane " << plane;
      EXPECT_EQ(read.block[10], c.targets[page]) << "page " << page;
      EXPECT_EQ(read.dataSectors, 33u);
    }
  }
}

TEST_F(CodeDumpTest, FilesHoldTheDataSectorsOfTheKeptReads) {
  Install();
  OnlyPositions({{3, 2}});
  const DumpOutcome out = Dump(DumpKind::kInfo);
  const std::vector<uint8_t> file = FileBytes(out.Folder / "DumpInfo_Block05_CH02_CE03.bin");
  ASSERT_EQ(file.size(), InfoFileBytes());
  // Page 1, plane 1 of the second copy at CH 2, CE 3.
  FlashAddress address;
  address.block = 5;
  address.page = 1;
  address.option = 0x35 + 64;
  address.chCe = 0x40 | (2 + 8 * 3);
  std::vector<uint8_t> read(33 * 512);
  ASSERT_EQ(state_->Controllers[0].ReadFlash(address, 33, read), kResultSuccess);
  const size_t at = (1 * Planes() + 1) * kPageBytes;
  EXPECT_TRUE(std::equal(read.begin(), read.begin() + kPageBytes, file.begin() + static_cast<std::ptrdiff_t>(at)));
}

TEST_F(CodeDumpTest, EachClickMakesTheNextFolderOfTheDay) {
  Install();
  OnlyPositions({{0, 0}});
  EXPECT_EQ(Dump(DumpKind::kIsp).Folder, dir_.Dir() / "DumpISP_1209_0000");
  EXPECT_EQ(Dump(DumpKind::kIsp).Folder, dir_.Dir() / "DumpISP_1209_0001");
  EXPECT_EQ(Dump(DumpKind::kInfo).Folder, dir_.Dir() / "DumpInfo_1209_0000");
  place_.Today = [] { return LocalDate{1, 31}; };
  EXPECT_EQ(Dump(DumpKind::kIsp).Folder, dir_.Dir() / "DumpISP_0131_0000");
  EXPECT_EQ(DumpFolderName(DumpKind::kInfo, kDecember9, 4999), "DumpInfo_1209_4999");
}

TEST_F(CodeDumpTest, FileNamesCarryTheBlockChannelAndCe) {
  struct Case {
    DumpKind kind;
    uint16_t block;
    int channel;
    int ce;
    bool whole;
    const char* name;
  } cases[] = {
      {DumpKind::kIsp, 0x0123, 1, 0, false, "DumpISP_Block23_CH01_CE00.bin"},
      {DumpKind::kInfo, 0x00AB, 3, 7, false, "DumpInfo_BlockAB_CH03_CE07.bin"},
      {DumpKind::kIsp, 0x0123, 1, 0, true, "DumpISP_Block0123_CH01_CE00.bin"},
      {DumpKind::kInfo, 0xFF05, 0, 2, true, "DumpInfo_BlockFF05_CH00_CE02.bin"},
  };
  for (const Case& c : cases) EXPECT_EQ(DumpFileName(c.kind, c.block, c.channel, c.ce, c.whole), c.name);

  Install();
  OnlyPositions({{0, 1}});
  SetBlocks(card_info_offset::kIspBlocks, 0x0123, 0x0124);
  const DumpOutcome out = Dump(DumpKind::kIsp);
  EXPECT_TRUE(std::filesystem::exists(out.Folder / "DumpISP_Block23_CH01_CE00.bin"));
  EXPECT_TRUE(std::filesystem::exists(out.Folder / "DumpISP_Block24_CH01_CE00.bin"));
}

// Two copies whose numbers share the low byte would share a file: both
// files then carry the whole block number.
TEST_F(CodeDumpTest, CollidingCopiesKeepBothFiles) {
  Install();
  OnlyPositions({{0, 0}});
  SetBlocks(card_info_offset::kIspBlocks, 0x0002, 0x0102);
  const DumpOutcome out = Dump(DumpKind::kIsp);
  EXPECT_EQ(out.Status, FlashStatus::kDone);
  EXPECT_EQ(std::filesystem::file_size(out.Folder / "DumpISP_Block0002_CH00_CE00.bin"), IspFileBytes());
  // Block 0x0102 holds no code: its file is there, and empty.
  EXPECT_EQ(std::filesystem::file_size(out.Folder / "DumpISP_Block0102_CH00_CE00.bin"), 0u);
  EXPECT_EQ(FilesIn(out.Folder).size(), 2u);
}

// Information pages 0 and 1 are kept without the marker test; the dump of a
// position ends at the first later read without it, and the next position
// is dumped whole.
TEST_F(CodeDumpTest, InfoDumpEndsWherePageTwoLacksItsMarker) {
  Install();
  OnlyPositions({{0, 0}, {0, 1}});
  Erase(4, 0, 0, -1);
  const DumpOutcome out = Dump(DumpKind::kInfo);
  EXPECT_EQ(out.Status, FlashStatus::kDone);
  EXPECT_EQ(std::filesystem::file_size(out.Folder / "DumpInfo_Block04_CH00_CE00.bin"), 2 * Planes() * kPageBytes);
  EXPECT_EQ(std::filesystem::file_size(out.Folder / "DumpInfo_Block04_CH01_CE00.bin"), InfoFileBytes());
  EXPECT_EQ(std::filesystem::file_size(out.Folder / "DumpInfo_Block05_CH00_CE00.bin"), InfoFileBytes());
}

// The marker test ends a position's dump within a page: the planes read
// before it stay in the file.
TEST_F(CodeDumpTest, IspDumpStopsAtTheFirstPlaneWithoutItsMarker) {
  Install();
  OnlyPositions({{0, 0}});
  ASSERT_EQ(Planes(), 2);
  Erase(2, 0, 0, 1);
  const DumpOutcome out = Dump(DumpKind::kIsp);
  const std::vector<uint8_t> file = FileBytes(out.Folder / "DumpISP_Block02_CH00_CE00.bin");
  ASSERT_EQ(file.size(), kPageBytes);
  const std::vector<uint8_t> copy = FileBytes(out.Folder / "DumpISP_Block03_CH00_CE00.bin");
  ASSERT_EQ(copy.size(), IspFileBytes());
  EXPECT_TRUE(std::equal(file.begin(), file.end(), copy.begin())) << "both copies hold the same code";
}

TEST_F(CodeDumpTest, FailedReadEndsTheWholeDump) {
  Install();
  fault_->FailDataPhaseOf(0x0A);
  const DumpOutcome out = Dump(DumpKind::kInfo);
  EXPECT_EQ(out.Status, FlashStatus::kFailed);
  EXPECT_EQ(out.Result, kResultDataPhaseFailed);
  EXPECT_EQ(feedback_.boxes, (std::vector<RecordedMessageBox>{{"Dump Info Fail!", "Error", MessageIcon::Error}}));
  EXPECT_EQ(feedback_.shown, (std::vector<std::string>{"Waitting......", ""}));
  EXPECT_EQ(wire_->Commands().size(), 1u);
  // The file of the first position was created before the read; it stays.
  EXPECT_EQ(FilesIn(out.Folder), std::vector<std::string>{"DumpInfo_Block04_CH00_CE00.bin"});
  EXPECT_EQ(feedback_.positions.back(), 1);
  EXPECT_FALSE(feedback_.RunOpen());
}

TEST_F(CodeDumpTest, FolderThatCannotBeCreatedStopsWithOneBox) {
  Install();
  place_.Base = dir_.Write("not-a-folder", "x");
  const DumpOutcome out = Dump(DumpKind::kIsp);
  EXPECT_EQ(out.Status, FlashStatus::kFailed);
  const std::string folder = PathText(std::filesystem::path(dir_.Path("not-a-folder")) / "DumpISP_1209_0000");
  EXPECT_EQ(feedback_.boxes,
            (std::vector<RecordedMessageBox>{{"Cannot create folder " + folder, "Error", MessageIcon::Error}}));
  EXPECT_TRUE(wire_->Log().empty());
  EXPECT_TRUE(feedback_.positions.empty());
}

// A file that cannot be created gets its own box, then the dump's failure.
TEST_F(CodeDumpTest, FileThatCannotBeCreatedEndsTheDump) {
  Install();
  feedback_ = DumpFeedback();
  const std::filesystem::path folder = dir_.Dir() / "DumpISP_1209_0000";
  const std::filesystem::path file = folder / "DumpISP_Block02_CH00_CE00.bin";
  // Once the dump made its folder, a folder takes the first file's name.
  feedback_.onProgress = [&] { std::filesystem::create_directories(file); };
  wire_->ClearLog();
  const DumpOutcome out = DumpControllerArea(*state_, feedback_, DumpKind::kIsp, place_);
  EXPECT_EQ(out.Status, FlashStatus::kFailed);
  EXPECT_EQ(out.Result, 0xAA);
  EXPECT_EQ(feedback_.boxes, (std::vector<RecordedMessageBox>{{"Cannot open " + PathText(file), "ERROR", MessageIcon::Warning},
                                                              {"Dump ISP Fail!", "Error", MessageIcon::Error}}));
  EXPECT_EQ(feedback_.shown, (std::vector<std::string>{"Waitting......", ""}));
  EXPECT_TRUE(wire_->Commands().empty());
  EXPECT_FALSE(feedback_.RunOpen());
}

TEST_F(CodeDumpTest, CancelEndsTheDumpBetweenReads) {
  Install();
  feedback_ = DumpFeedback();
  feedback_.cancelAfter = 3;
  wire_->ClearLog();
  const DumpOutcome out = DumpControllerArea(*state_, feedback_, DumpKind::kIsp, place_);
  EXPECT_EQ(out.Status, FlashStatus::kNothing);
  EXPECT_EQ(wire_->Commands().size(), 2u);
  EXPECT_TRUE(feedback_.boxes.empty());
  EXPECT_EQ(feedback_.shown.back(), "");
  EXPECT_EQ(std::filesystem::file_size(out.Folder / "DumpISP_Block02_CH00_CE00.bin"), 2 * kPageBytes);
}

TEST_F(CodeDumpTest, NoDriveSelectedDoesNothing) {
  Install();
  state_->SelectedDevice = -1;
  const DumpOutcome out = Dump(DumpKind::kIsp);
  EXPECT_EQ(out.Status, FlashStatus::kNothing);
  EXPECT_TRUE(FilesIn(dir_.Dir()).empty());
  EXPECT_TRUE(feedback_.shown.empty());
}

}  // namespace
}  // namespace dozered
