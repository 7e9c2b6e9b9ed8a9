// The block scans against a simulated drive: what each scan sends, what it
// keeps of every spare sector, how it ends (finished, cancelled, failed) and
// that it holds the run and the drive open exactly around its steps.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/device_scan.h"
#include "decode/hex_dump.h"
#include "device/virtual_platform.h"
#include "flash/block_scan.h"
#include "flash/flash_rw.h"
#include "protocol/card_info.h"
#include "protocol/result_codes.h"
#include "sim/simulated_drive.h"
#include "support/command_fault_drive.h"
#include "support/recording_feedback.h"
#include "support/simulated_drives.h"

namespace dozered {
namespace {

using testing::ControllerDrive;
using testing::RecordedMessageBox;
using testing::RecordingFeedback;
using testing::VendorCommand;
using testing::WireRecorder;

constexpr uint8_t kReadFlashOpcode = 0x0A;

// A recorder that also keeps the gauge, checks that every turn of the event
// loop happens inside the run, and asks for a cancel once the gauge reaches
// `cancelAt`.
class ScanFeedback : public RecordingFeedback {
 public:
  void Progress(int maximum, int position) override {
    gauge.push_back({maximum, position});
    if (cancelAt >= 0 && position == cancelAt) cancel = true;
  }
  void ProcessPendingEvents() override {
    RecordingFeedback::ProcessPendingEvents();
    if (!RunOpen()) ++turnsOutsideRun;
  }
  bool CancelRequested() override {
    ++cancelChecks;
    return cancel;
  }

  std::vector<std::pair<int, int>> gauge;
  int cancelAt = -1;
  bool cancel = false;
  int cancelChecks = 0;
  int turnsOutsideRun = 0;
};

size_t Lines(const std::string& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); }

// Line `i` of a dump (0: the header), without its line end.
std::string DumpLine(const std::string& text, size_t i) {
  return text.substr(i * kHexDumpLineSize, kHexDumpLineSize - 2);
}

class BlockScanTest : public ::testing::Test {
 protected:
  void SetUp() override { Install(ControllerDrive(2)); }

  void Install(const sim::DriveConfig& config) {
    state_ = std::make_unique<AppState>();
    drive_ = std::make_shared<sim::SimulatedDrive>(config);
    fault_ = std::make_shared<CommandFaultDrive>(drive_);
    wire_ = std::make_shared<WireRecorder>(fault_);
    platform_ = &testing::InstallDisks(*state_, {wire_});
    ResetEnumerator(*state_);
    ScanForControllers(*state_);
    FinishScan(*state_);
    ASSERT_EQ(state_->SelectedDevice, 0);
    fields_.Option = ByteText(state_->FlashOption);
    fields_.ChCe = ByteText(state_->FlashChCe);
    wire_->ClearLog();
    platform_->ClearCalls();
  }

  // The scan with window hooks that count what the window would do.
  BlockScanOutcome Scan(BlockScanKind kind) {
    BlockScanWindow window;
    window.EnterScanMode = [this] {
      ++entered_;
      EXPECT_TRUE(feedback_.RunOpen());
    };
    window.LeaveScanMode = [this] {
      ++left_;
      EXPECT_TRUE(feedback_.RunOpen());
    };
    window.ClearResultView = [this] { ++cleared_; };
    return kind == BlockScanKind::kDbs ? RunDbs(*state_, feedback_, fields_, window)
                                       : RunDps(*state_, feedback_, fields_, window);
  }

  std::vector<VendorCommand> Reads() const {
    std::vector<VendorCommand> reads;
    for (const VendorCommand& c : wire_->Commands()) {
      if (c.opcode() == kReadFlashOpcode) reads.push_back(c);
    }
    return reads;
  }

  int PlatformCalls(const std::string& operation) const {
    const auto& calls = platform_->Calls();
    return static_cast<int>(
        std::count_if(calls.begin(), calls.end(), [&](const VirtualPlatformCall& c) { return c.operation == operation; }));
  }

  void SetCardInfoU16(uint32_t offset, uint16_t value) {
    auto& record = state_->CardInfoTable[0];
    record[offset] = static_cast<uint8_t>(value);
    record[offset + 1] = static_cast<uint8_t>(value >> 8);
  }

  // Scan mode was entered and left once, and the run is closed again.
  void ExpectScanModeLeft() const {
    EXPECT_EQ(entered_, 1);
    EXPECT_EQ(left_, 1);
    EXPECT_FALSE(feedback_.RunOpen());
    EXPECT_EQ(feedback_.turnsOutsideRun, 0);
    ASSERT_FALSE(feedback_.gauge.empty());
    EXPECT_EQ(feedback_.gauge.back().second, 0);
    // The status text stays two seconds after the scan.
    EXPECT_FALSE(feedback_.reported.empty());
  }

  std::unique_ptr<AppState> state_;
  ScanFeedback feedback_;
  DbsDpsFields fields_;
  std::shared_ptr<sim::SimulatedDrive> drive_;
  std::shared_ptr<CommandFaultDrive> fault_;
  std::shared_ptr<WireRecorder> wire_;
  VirtualPlatform* platform_ = nullptr;
  int entered_ = 0;
  int left_ = 0;
  int cleared_ = 0;
};

TEST_F(BlockScanTest, DbsReadsThePageOfEveryBlockWithTheDriveOpenOnce) {
  fields_.Page = "0x03";
  fields_.Block = "0123";  // not used by DBS
  fields_.ChCe = "0A";
  const BlockScanOutcome out = Scan(BlockScanKind::kDbs);

  ASSERT_EQ(out.Status, FlashStatus::kDone);
  EXPECT_EQ(out.StepCount, 2048u);
  EXPECT_EQ(out.StepsDone, 2048u);
  EXPECT_FALSE(out.Cancelled);
  const std::vector<VendorCommand> reads = Reads();
  ASSERT_EQ(reads.size(), 2048u);
  for (uint32_t i = 0; i < reads.size(); i += 511) {
    SCOPED_TRACE(i);
    const std::vector<uint8_t>& b = reads[i].block;
    EXPECT_EQ((b[2] << 8) | b[3], static_cast<int>(i));  // block, big-endian
    EXPECT_EQ(b[4], 0x03);                                // page
    EXPECT_EQ(b[8], 0x21);                                // option
    EXPECT_EQ(b[10], 0x0A);                               // channel/CE
    EXPECT_EQ(reads[i].dataSectors, 3u);                  // "1 K": 2 data sectors and the spare
  }
  EXPECT_EQ(PlatformCalls("open"), 1);
  EXPECT_EQ(PlatformCalls("close"), 1);

  // 2,048 entry lines below the header, entry i at offset i x 16.
  ASSERT_TRUE(out.Dump);
  EXPECT_EQ(Lines(*out.Dump), 2049u);
  EXPECT_EQ(DumpLine(*out.Dump, 1).substr(0, 9), "00000000 ");
  EXPECT_EQ(DumpLine(*out.Dump, 2048).substr(0, 9), "00007FF0 ");
  EXPECT_EQ(out.Table.size(), 2048u * 16);
  EXPECT_EQ(*out.Dump, BlockScanDumpText(out.Table));
  EXPECT_EQ(out.Message, kBlockScanCompleteText);
  EXPECT_EQ(feedback_.shown.front(), kFlashWaitingText);
  EXPECT_EQ(feedback_.shown.back(), kBlockScanCompleteText);
  EXPECT_EQ(feedback_.reported, std::vector<std::string>{kBlockScanCompleteText});
  EXPECT_TRUE(feedback_.boxes.empty());
  EXPECT_EQ(cleared_, 1);
  ExpectScanModeLeft();
}

// What an engineer reads off a DBS: a block holding data lists its tags
// (the logical page number, F-block x 256 + page, and a sequence number), an
// erased block 0xFF, a factory-bad block 0x00.
TEST_F(BlockScanTest, DbsTellsBlocksWithDataErasedBlocksAndBadBlocksApart) {
  sim::DriveConfig demo = ControllerDrive(2, 4810);
  Install(demo);
  std::vector<bool> bad(2048, false);
  for (const sim::FactoryBadBlock& b : drive_->model().badBlocks.factory()) {
    // The blocks a DBS at channel 0, interleave 0, plane 0 reads.
    if (b.channel == 0 && b.plane == 0 && b.ce % 2 == 0) bad[b.fblock] = true;
  }
  const BlockScanOutcome out = Scan(BlockScanKind::kDbs);
  ASSERT_EQ(out.Table.size(), 2048u * 16);

  int data = 0, erased = 0, marked = 0;
  for (uint32_t i = 0; i < 2048; ++i) {
    SCOPED_TRACE(i);
    const uint8_t* e = out.Table.data() + i * 16;
    if (bad[i]) {
      EXPECT_TRUE(std::all_of(e, e + 16, [](uint8_t b) { return b == 0x00; }));
      ++marked;
    } else if (std::all_of(e, e + 16, [](uint8_t b) { return b == 0xFF; })) {
      ++erased;
    } else {
      EXPECT_EQ(e[1] | (e[2] << 8), static_cast<int>(i));  // page 0 of F-block i
      ++data;
    }
  }
  EXPECT_GT(marked, 0);
  EXPECT_GT(erased, 100);
  EXPECT_GT(data, 100);
}

TEST_F(BlockScanTest, EachEntryIsSpareBytes16To23And32To39OfItsRead) {
  // "32 K": 65 sectors a step, the spare taken from the 65th.
  fields_.SectorIndex = 5;
  fields_.Block = "0100";  // a block that arrived holding data
  const BlockScanOutcome out = Scan(BlockScanKind::kDps);
  ASSERT_EQ(out.Status, FlashStatus::kDone);
  const std::vector<VendorCommand> reads = Reads();
  ASSERT_EQ(reads.size(), 256u);
  EXPECT_EQ(reads[0].dataSectors, 65u);

  for (uint32_t page : {0u, 1u, 77u, 255u}) {
    SCOPED_TRACE(page);
    FlashRwFields f;
    f.Block = "0100";
    f.Page = ByteText(static_cast<uint8_t>(page));
    f.Option = fields_.Option;
    f.SectorIndex = 5;
    RecordingFeedback quiet;
    ASSERT_EQ(FlashRwRead(*state_, quiet, f).Status, FlashStatus::kDone);
    const uint8_t* spare = state_->FlashPageBuffer.data() + 64 * 512;
    const uint8_t* entry = out.Table.data() + page * 16;
    EXPECT_TRUE(std::equal(entry, entry + 8, spare + 16));
    EXPECT_TRUE(std::equal(entry + 8, entry + 16, spare + 32));
  }
}

TEST_F(BlockScanTest, StepCountFollowsTheKindAndStrongPageMode) {
  struct Case {
    BlockScanKind kind;
    uint8_t option;
    uint32_t steps;
  };
  const Case cases[] = {
      {BlockScanKind::kDbs, 0x21, 2048},
      {BlockScanKind::kDbs, 0x31, 2048},  // DBS ignores strong page mode
      {BlockScanKind::kDps, 0x21, 256},
      {BlockScanKind::kDps, 0x31, 128},   // strong page: half the pages
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BlockScanStepCount(*state_, c.kind, c.option), c.steps) << static_cast<int>(c.kind) << " " << +c.option;
  }
}

TEST_F(BlockScanTest, DpsInStrongPageModeScansTheFirstHalfOfTheBlock) {
  fields_.Option = "31";
  fields_.Block = "0x10";
  fields_.Page = "0042";  // not used by DPS
  const BlockScanOutcome out = Scan(BlockScanKind::kDps);

  ASSERT_EQ(out.Status, FlashStatus::kDone);
  ASSERT_TRUE(out.Dump);
  EXPECT_EQ(Lines(*out.Dump), 1u + 128u);
  const std::vector<VendorCommand> reads = Reads();
  ASSERT_EQ(reads.size(), 128u);
  for (uint32_t i = 0; i < reads.size(); ++i) {
    const std::vector<uint8_t>& b = reads[i].block;
    ASSERT_EQ((b[2] << 8) | b[3], 0x10);
    ASSERT_EQ(b[4] | (b[12] << 8), static_cast<int>(i));
    ASSERT_EQ(b[8], 0x31);
  }
  // One turn of the event loop before the scan, one before each step, and
  // the cancel looked at before each step.
  EXPECT_EQ(feedback_.pendingEventRuns, 1 + 128);
  EXPECT_EQ(feedback_.cancelChecks, 128);
  ExpectScanModeLeft();
}

TEST_F(BlockScanTest, ACancelShowsAllLinesWithTheStepsNotDoneZero) {
  fields_.Block = "0100";
  feedback_.cancelAt = 9;  // seen after the tenth step
  const BlockScanOutcome out = Scan(BlockScanKind::kDps);

  EXPECT_EQ(out.Status, FlashStatus::kDone);
  EXPECT_TRUE(out.Cancelled);
  EXPECT_EQ(out.StepsDone, 10u);
  EXPECT_EQ(Reads().size(), 10u);
  ASSERT_TRUE(out.Dump);
  EXPECT_EQ(Lines(*out.Dump), 1u + 256u);
  const std::string zero = "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00";
  for (size_t line = 1; line <= 256; ++line) {
    SCOPED_TRACE(line);
    const std::string hex = DumpLine(*out.Dump, line).substr(9, zero.size());
    if (line <= 10) {
      EXPECT_NE(hex, zero);  // a block holding data: every page carries its tags
    } else {
      EXPECT_EQ(hex, zero);
    }
  }
  EXPECT_EQ(out.Message, kBlockScanCompleteText);
  EXPECT_EQ(feedback_.reported, std::vector<std::string>{kBlockScanCompleteText});
  EXPECT_EQ(PlatformCalls("open"), 1);
  EXPECT_EQ(PlatformCalls("close"), 1);
  ExpectScanModeLeft();
}

TEST_F(BlockScanTest, AFailingStepEndsTheScanWithoutAResult) {
  struct Case {
    BlockScanKind kind;
    const char* box;
    const char* status;
  };
  const Case cases[] = {{BlockScanKind::kDbs, "DBS fail(-7)", kDbsFailText},
                        {BlockScanKind::kDps, "DPS fail(-7)", kDpsFailText}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.box);
    Install(ControllerDrive(2));
    feedback_ = ScanFeedback();
    entered_ = left_ = cleared_ = 0;
    fault_->FailDataPhaseOf(kReadFlashOpcode);
    const BlockScanOutcome out = Scan(c.kind);

    EXPECT_EQ(out.Status, FlashStatus::kFailed);
    EXPECT_EQ(out.Result, kResultDataPhaseFailed);
    EXPECT_EQ(out.StepsDone, 0u);
    EXPECT_EQ(fault_->FailedDataPhases(), 1);  // nothing retried, nothing after it
    ASSERT_TRUE(out.Dump);
    EXPECT_EQ(*out.Dump, "");
    EXPECT_TRUE(out.Table.empty());
    EXPECT_EQ(cleared_, 1);
    ASSERT_EQ(feedback_.boxes.size(), 1u);
    EXPECT_EQ(feedback_.boxes[0].text.rfind(c.box, 0), 0u) << feedback_.boxes[0].text;
    EXPECT_EQ(feedback_.boxes[0].caption, kErrorCaption);
    EXPECT_EQ(feedback_.boxes[0].icon, MessageIcon::Error);
    EXPECT_EQ(feedback_.reported, std::vector<std::string>{c.status});
    // The gauge never moved past 0.
    for (const auto& [maximum, position] : feedback_.gauge) EXPECT_EQ(position, 0);
    EXPECT_EQ(PlatformCalls("open"), 1);
    EXPECT_EQ(PlatformCalls("close"), 1);
    ExpectScanModeLeft();
  }
}

TEST_F(BlockScanTest, ADriveThatCannotBeOpenedKeepsTheResultViewAsItWas) {
  platform_->Disk(0).options.openFails = true;
  const BlockScanOutcome out = Scan(BlockScanKind::kDbs);

  EXPECT_EQ(out.Status, FlashStatus::kFailed);
  EXPECT_FALSE(out.Dump);
  EXPECT_EQ(cleared_, 0);
  EXPECT_TRUE(wire_->Log().empty());
  EXPECT_EQ(feedback_.reported, std::vector<std::string>{kScanAccessDeviceFailText});
  EXPECT_TRUE(feedback_.boxes.empty());
  ExpectScanModeLeft();
}

TEST_F(BlockScanTest, ARecordWithoutBlocksGivesAnEmptyResultWithoutTouchingTheDrive) {
  SetCardInfoU16(card_info_offset::kTotalFBlockCount, 0);
  const BlockScanOutcome out = Scan(BlockScanKind::kDbs);

  EXPECT_EQ(out.Status, FlashStatus::kDone);
  EXPECT_EQ(out.StepCount, 0u);
  ASSERT_TRUE(out.Dump);
  EXPECT_EQ(Lines(*out.Dump), 1u);  // the header line alone
  EXPECT_TRUE(wire_->Log().empty());
  EXPECT_EQ(PlatformCalls("open"), 0);
  EXPECT_TRUE(feedback_.boxes.empty());
  EXPECT_EQ(feedback_.reported, std::vector<std::string>{kBlockScanCompleteText});
  ExpectScanModeLeft();
}

TEST_F(BlockScanTest, NoDriveSelectedDoesNothing) {
  state_->SelectedDevice = -1;
  const BlockScanOutcome out = Scan(BlockScanKind::kDps);

  EXPECT_EQ(out.Status, FlashStatus::kNothing);
  EXPECT_FALSE(out.Dump);
  EXPECT_EQ(entered_, 0);
  EXPECT_EQ(left_, 0);
  EXPECT_TRUE(wire_->Log().empty());
  EXPECT_TRUE(feedback_.shown.empty());
  EXPECT_TRUE(feedback_.reported.empty());
  EXPECT_FALSE(feedback_.RunOpen());
}

TEST(BlockScanDumpText, OffsetsGoOnCountingBeyondOneDump) {
  // 5,000 entries: more than the 4,096 lines one hex dump holds.
  std::vector<uint8_t> table(5000 * 16);
  for (size_t i = 0; i < table.size(); ++i) table[i] = static_cast<uint8_t>(i / 16);
  const std::string text = BlockScanDumpText(table);

  ASSERT_EQ(Lines(text), 5001u);
  EXPECT_EQ(DumpLine(text, 0).substr(0, 20), "         00 01 02 03");
  EXPECT_EQ(DumpLine(text, 4096).substr(0, 15), "0000FFF0 FF FF ");
  EXPECT_EQ(DumpLine(text, 4097).substr(0, 15), "00010000 00 00 ");
  EXPECT_EQ(DumpLine(text, 5000).substr(0, 15), "00013870 87 87 ");
  EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 5001);
  // Within one dump it is the hex dump itself.
  std::vector<char> dump(kHexDumpMaxTextSize);
  const size_t length = FormatHexDump(std::span(table).first(4096 * 16), dump.data(), dump.size());
  EXPECT_EQ(text.substr(0, length), std::string(dump.data(), length));
  EXPECT_EQ(BlockScanDumpText({}), DumpLine(text, 0) + "\r\n");
}

TEST_F(BlockScanTest, SetShowsTheBytesOnlyWhenTheSettingsWereAccepted) {
  state_->FlashOption = 0x35;
  state_->FlashChCe = 0x4B;
  EXPECT_FALSE(DbsDpsSet(*state_, fields_, [] {}));
  EXPECT_EQ(fields_.Option, "21");
  EXPECT_TRUE(DbsDpsSet(*state_, fields_, [this] { state_->SettingsAccepted = true; }));
  EXPECT_EQ(fields_.Option, "35");
  EXPECT_EQ(fields_.ChCe, "4B");
}

}  // namespace
}  // namespace dozered
