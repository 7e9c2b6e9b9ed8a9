// The Flash RW operations against a simulated drive: what each one sends,
// what the views get, what the status line says, and what lands on the
// flash.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <filesystem>
#include <fstream>
#include <memory>
#include <numeric>

#include "app/device_scan.h"
#include "device/virtual_platform.h"
#include "flash/flash_rw.h"
#include "protocol/result_codes.h"
#include "sim/simulated_drive.h"
#include "support/command_fault_drive.h"
#include "support/recording_feedback.h"
#include "support/simulated_drives.h"
#include "support/temp_dir.h"

namespace dozered {
namespace {

using testing::ControllerDrive;
using testing::RecordedMessageBox;
using testing::RecordingFeedback;
using testing::VendorCommand;
using testing::WireRecorder;

constexpr uint32_t kPageBytes = 16384;

// Counts the sector accesses made while no run of `feedback` was open.
class RunWatchDrive : public VirtualDrive {
 public:
  RunWatchDrive(std::shared_ptr<VirtualDrive> inner, const Feedback& feedback)
      : inner_(std::move(inner)), feedback_(feedback) {}
  bool ExecuteScsi(ScsiCommand& command, ScsiOutcome& outcome) override {
    if (!feedback_.RunOpen()) ++outsideRun;
    return inner_->ExecuteScsi(command, outcome);
  }
  bool ExecuteAta(AtaCommand& command) override { return inner_->ExecuteAta(command); }
  bool ExecuteNvmeAdmin(NvmeAdminCommand& command) override { return inner_->ExecuteNvmeAdmin(command); }
  int outsideRun = 0;

 private:
  std::shared_ptr<VirtualDrive> inner_;
  const Feedback& feedback_;
};

size_t Lines(const std::string& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); }

class FlashRwTest : public ::testing::Test {
 protected:
  void SetUp() override { Install(ControllerDrive(2)); }

  void Install(const sim::DriveConfig& config) {
    state_ = std::make_unique<AppState>();
    drive_ = std::make_shared<sim::SimulatedDrive>(config);
    fault_ = std::make_shared<CommandFaultDrive>(drive_);
    watch_ = std::make_shared<RunWatchDrive>(fault_, feedback_);
    wire_ = std::make_shared<WireRecorder>(watch_);
    testing::InstallDisks(*state_, {wire_});
    ResetEnumerator(*state_);
    ScanForControllers(*state_);
    FinishScan(*state_);
    ASSERT_EQ(state_->SelectedDevice, 0);
    watch_->outsideRun = 0;
    // The fields as entering the page leaves them, without its read.
    ShowBytes();
    Clear();
  }

  // The option fields and displays for the bytes, as the page shows them.
  void ShowBytes() {
    fields_.Option = ByteText(state_->FlashOption);
    fields_.ChCe = ByteText(state_->FlashChCe);
    fields_.PlaneText = PlaneDisplay(state_->FlashOption);
    fields_.ChannelText = ChannelDisplay(state_->FlashChCe);
    fields_.InterleaveText = InterleaveDisplay(state_->FlashChCe);
  }

  void Clear() {
    wire_->ClearLog();
    feedback_ = RecordingFeedback();
  }

  std::vector<uint8_t> Opcodes() const {
    std::vector<uint8_t> ops;
    for (const VendorCommand& c : wire_->Commands()) ops.push_back(c.opcode());
    return ops;
  }

  // The page as the drive holds it now, read with the given option byte:
  // `sectors` data sectors, or nothing when the read fails.
  std::vector<uint8_t> DrivePage(uint32_t block, uint32_t page, uint32_t sectors = 2, uint8_t option = 0x21) {
    FlashRwFields f;
    f.Block = ByteText(static_cast<uint8_t>(block >> 8)) + ByteText(static_cast<uint8_t>(block));
    f.Page = ByteText(static_cast<uint8_t>(page >> 8)) + ByteText(static_cast<uint8_t>(page));
    f.Option = ByteText(option);
    f.SectorIndex = std::countr_zero(sectors) - 1;
    RecordingFeedback quiet;
    const int outside = watch_->outsideRun;  // its accesses belong to another run
    const bool read = FlashRwRead(*state_, quiet, f).Status == FlashStatus::kDone;
    watch_->outsideRun = outside;
    if (!read) return {};
    return std::vector<uint8_t>(state_->FlashPageBuffer.begin(), state_->FlashPageBuffer.begin() + sectors * 512);
  }

  void EraseBlock(const std::string& block) {
    FlashRwFields f = fields_;
    f.Block = block;
    RecordingFeedback quiet;
    const int outside = watch_->outsideRun;  // its accesses belong to another run
    ASSERT_EQ(FlashRwErase(*state_, quiet, f).Status, FlashStatus::kDone);
    watch_->outsideRun = outside;
  }

  // The run is closed again and no sector was touched outside it.
  void ExpectRunClosed() const {
    EXPECT_FALSE(feedback_.RunOpen());
    EXPECT_EQ(watch_->outsideRun, 0);
  }

  std::unique_ptr<AppState> state_;
  RecordingFeedback feedback_;
  FlashRwFields fields_;
  std::shared_ptr<sim::SimulatedDrive> drive_;
  std::shared_ptr<CommandFaultDrive> fault_;
  std::shared_ptr<RunWatchDrive> watch_;
  std::shared_ptr<WireRecorder> wire_;
  testing::TempDir dir_;
};

TEST_F(FlashRwTest, ReadSendsTheFieldsAndShowsDataAndSpare) {
  fields_.Block = "0006";
  fields_.Page = "0x12";
  fields_.Chunk = "03";
  fields_.ChCe = "09";
  fields_.SectorIndex = 5;  // "32 K"
  const FlashOutcome out = FlashRwRead(*state_, feedback_, fields_);
  ASSERT_EQ(out.Status, FlashStatus::kDone);
  ASSERT_EQ(wire_->Commands().size(), 1u);
  const VendorCommand c = wire_->Commands()[0];
  EXPECT_EQ(std::vector<uint8_t>(c.block.begin(), c.block.begin() + 13),
            (std::vector<uint8_t>{0xF0, 0x0A, 0x00, 0x06, 0x12, 0x03, 0, 0, 0x21, 0, 0x09, 0, 0x00}));
  EXPECT_EQ(c.dataSectors, 65u);
  // 32,768 bytes of data in the raw view, the 65th sector in the spare view.
  ASSERT_TRUE(out.RawView && out.SpareView);
  EXPECT_EQ(Lines(*out.RawView), 2048u);
  EXPECT_EQ(out.RawView->substr(0, 9), "00000000 ");
  EXPECT_EQ(out.RawView->substr(2047 * 80, 9), "00007FF0 ");
  EXPECT_EQ(Lines(*out.SpareView), 32u);
  EXPECT_EQ(*out.SpareView, DumpLines(*state_, std::span<const uint8_t>(state_->FlashPageBuffer).subspan(64 * 512, 512)));
  EXPECT_EQ(feedback_.reported, std::vector<std::string>{kReadFlashSuccessText});
  EXPECT_EQ(out.Message, kReadFlashSuccessText);
  ExpectRunClosed();
}

TEST_F(FlashRwTest, FailedReadKeepsTheViewsAndTheBuffer) {
  state_->FlashPageBuffer.fill(0x5A);
  fault_->FailDataPhaseOf(0x0A);
  const FlashOutcome out = FlashRwRead(*state_, feedback_, fields_);
  EXPECT_EQ(out.Status, FlashStatus::kFailed);
  EXPECT_EQ(out.Result, kResultDataPhaseFailed);
  EXPECT_FALSE(out.RawView);
  EXPECT_FALSE(out.SpareView);
  EXPECT_TRUE(std::all_of(state_->FlashPageBuffer.begin(), state_->FlashPageBuffer.end(),
                          [](uint8_t b) { return b == 0x5A; }));
  EXPECT_EQ(feedback_.reported, std::vector<std::string>{"Read flash fail(-7)"});
  ExpectRunClosed();
}

TEST_F(FlashRwTest, WithNoDriveSelectedNothingIsSentOrSaid) {
  state_->SelectedDevice = -1;
  fields_.MultiPage = true;
  for (auto op : {FlashRwRead, FlashRwWrite, FlashRwErase}) {
    const FlashOutcome out = op(*state_, feedback_, fields_);
    EXPECT_EQ(out.Status, FlashStatus::kNothing);
  }
  EXPECT_TRUE(wire_->Log().empty());
  EXPECT_TRUE(feedback_.reported.empty());
  EXPECT_TRUE(feedback_.shown.empty());
  ExpectRunClosed();
}

// With the transfer rate box checked, Read and Write send the rate first;
// a rate that does not convert stops them before anything is sent.
TEST_F(FlashRwTest, TransferRateGoesFirstAndMustConvert) {
  struct Case {
    bool checked;
    const char* text;
    bool sendsRate;
    uint16_t rate;
    bool refused;
  } cases[] = {
      {true, "12", true, 12, false},
      {true, "65535", true, 65535, false},
      {false, "abc", false, 0, false},
      {true, "abc", false, 0, true},
      {true, "", false, 0, true},
      {true, "70000", false, 0, true},
  };
  EraseBlock("0006");
  uint32_t page = 0;
  for (const Case& c : cases) {
    for (auto op : {FlashRwRead, FlashRwWrite}) {
      SCOPED_TRACE(std::string(c.text) + (op == FlashRwRead ? " read" : " write"));
      Clear();
      fields_.Block = "0006";
      fields_.Page = ByteText(static_cast<uint8_t>(page++));
      fields_.TransferRate = c.checked;
      fields_.TransferRateText = c.text;
      const FlashOutcome out = op(*state_, feedback_, fields_);
      const std::vector<uint8_t> ops = Opcodes();
      if (c.refused) {
        EXPECT_EQ(out.Status, FlashStatus::kRefused);
        EXPECT_TRUE(wire_->Log().empty());
        const std::string text = std::string("Transfer rate: \"") + c.text + "\" is not a number from 0 to 65535";
        EXPECT_EQ(feedback_.boxes, (std::vector<RecordedMessageBox>{{text, "Error", MessageIcon::Error}}));
        continue;
      }
      EXPECT_EQ(out.Status, FlashStatus::kDone) << out.Message;
      ASSERT_EQ(ops.size(), c.sendsRate ? 2u : 1u);
      EXPECT_EQ(ops.back(), op == FlashRwRead ? 0x0A : 0x0B);
      if (c.sendsRate) {
        const VendorCommand rate = wire_->Commands()[0];
        EXPECT_EQ(rate.opcode(), 0xB1);
        EXPECT_EQ(rate.block[2] | rate.block[3] << 8, c.rate);
      }
    }
  }
  ExpectRunClosed();
}

TEST_F(FlashRwTest, FailedTransferRateEndsReadAndWrite) {
  fault_->FailDataPhaseOf(0xB1);
  fields_.TransferRate = true;
  for (auto op : {FlashRwRead, FlashRwWrite}) {
    Clear();
    const FlashOutcome out = op(*state_, feedback_, fields_);
    EXPECT_EQ(out.Status, FlashStatus::kFailed);
    EXPECT_EQ(Opcodes(), std::vector<uint8_t>{0xB1});
    EXPECT_EQ(feedback_.reported, std::vector<std::string>{"Set flash clock fail(-7)"});
  }
  ExpectRunClosed();
}

TEST_F(FlashRwTest, WriteSendsDataSectorsOfTheBufferAndReadsBackScrambled) {
  EraseBlock("0006");
  std::iota(state_->FlashPageBuffer.begin(), state_->FlashPageBuffer.end(), uint8_t{0});
  fields_.Block = "0006";
  fields_.Page = "0009";
  fields_.SectorIndex = 4;  // "16 K": a whole page
  Clear();
  const FlashOutcome out = FlashRwWrite(*state_, feedback_, fields_);
  ASSERT_EQ(out.Status, FlashStatus::kDone);
  EXPECT_FALSE(out.RawView);
  EXPECT_FALSE(out.SpareView);
  ASSERT_EQ(wire_->Commands().size(), 1u);
  const VendorCommand c = wire_->Commands()[0];
  EXPECT_EQ(c.block[0], 0xF1);
  EXPECT_EQ(c.opcode(), 0x0B);
  EXPECT_EQ(c.block[4], 0x09);
  EXPECT_EQ(c.block[5], 0x00);  // no chunk on a write
  EXPECT_EQ(c.block[8], 0x21);
  EXPECT_EQ(c.dataSectors, 32u);
  EXPECT_EQ(feedback_.reported, std::vector<std::string>{kWriteFlashSuccessText});
  std::vector<uint8_t> written(state_->FlashPageBuffer.begin(), state_->FlashPageBuffer.begin() + kPageBytes);
  EXPECT_EQ(DrivePage(6, 9, 32), written);
  // Stored scrambled: read without descrambling it is noise.
  EXPECT_NE(DrivePage(6, 9, 32, 0x20), written);
  ExpectRunClosed();
}

// The multi-page count sets the end of the run; it may reach the block's
// last page (half of them in strong page mode) but not go past it.
TEST_F(FlashRwTest, MultiPageRunsStopAtTheEndOfTheBlock) {
  struct Case {
    uint8_t option;
    const char* start;
    const char* count;
    bool refused;
    std::vector<uint32_t> pages;
  } cases[] = {
      {0x21, "0000", "0", false, {}},
      {0x21, "0004", "3", false, {4, 5, 6}},
      {0x21, "00FF", "1", false, {0xFF}},
      {0x21, "00FF", "2", true, {}},
      {0x31, "007F", "1", false, {0x7F}},
      {0x31, "007F", "2", true, {}},
      {0x21, "0010", "x5", false, {}},  // no digit: count 0
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.start) + " + " + c.count);
    EraseBlock("0007");
    Clear();
    fields_.Block = "0007";
    fields_.Option = ByteText(c.option);
    fields_.Page = c.start;
    fields_.MultiPage = true;
    fields_.PageCount = c.count;
    const FlashOutcome out = FlashRwWrite(*state_, feedback_, fields_);
    std::vector<uint32_t> pages;
    for (const VendorCommand& v : wire_->Commands()) {
      if (v.opcode() == 0x0B) pages.push_back(v.block[4] | v.block[12] << 8);
    }
    EXPECT_EQ(pages, c.pages);
    EXPECT_EQ(out.Status, c.refused ? FlashStatus::kRefused : FlashStatus::kDone);
    EXPECT_EQ(feedback_.reported,
              std::vector<std::string>{c.refused ? kMultiPageFailText : kWriteFlashSuccessText});
  }
  ExpectRunClosed();
}

TEST_F(FlashRwTest, FailedPageStopsTheRunAndThePagesBeforeItStayWritten) {
  EraseBlock("0006");
  state_->FlashPageBuffer.fill(0x3C);
  wire_->failDataOut = [](const std::vector<uint8_t>& block, const testing::WireAccess&) {
    return block[1] == 0x0B && block[4] == 0x13;
  };
  fields_.Block = "0006";
  fields_.Page = "0010";
  fields_.MultiPage = true;
  fields_.PageCount = "6";
  Clear();
  const FlashOutcome out = FlashRwWrite(*state_, feedback_, fields_);
  EXPECT_EQ(out.Status, FlashStatus::kFailed);
  EXPECT_EQ(out.Result, kResultDataPhaseFailed);
  EXPECT_EQ(feedback_.reported, std::vector<std::string>{"Write flash fail(-7)--Page: 0x0013"});
  std::vector<uint32_t> pages;
  for (const VendorCommand& v : wire_->Commands()) pages.push_back(v.block[4]);
  EXPECT_EQ(pages, (std::vector<uint32_t>{0x10, 0x11, 0x12, 0x13}));
  ExpectRunClosed();
  wire_->failDataOut = nullptr;
  for (uint32_t page = 0x10; page < 0x16; ++page) {
    const std::vector<uint8_t> back = DrivePage(6, page);
    ASSERT_EQ(back.size(), 1024u);
    EXPECT_EQ(back[0], page < 0x13 ? 0x3C : 0xFF) << page;
  }
}

TEST_F(FlashRwTest, WriteRunHoldsTheDriveOpenAndSaysWhenItCannot) {
  fields_.MultiPage = true;
  fields_.PageCount = "0";
  state_->Controllers[0].Close();
  auto& platform = dynamic_cast<VirtualPlatform&>(*state_->Platform);
  platform.Disk(0).options.openFails = true;
  const FlashOutcome out = FlashRwWrite(*state_, feedback_, fields_);
  EXPECT_EQ(out.Status, FlashStatus::kFailed);
  EXPECT_EQ(out.Result, kResultOpenFailed);
  EXPECT_EQ(feedback_.reported, std::vector<std::string>{kFlashAccessDeviceFailText});
  ExpectRunClosed();
}

// With file mapping every page of the run takes its data from the image of
// the block: page p from byte p x page size, whatever page the run starts at.
TEST_F(FlashRwTest, FileMappingTakesEachPageFromItsPlaceInTheImage) {
  std::string image(5 * kPageBytes + 100, '\0');
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i / kPageBytes + 1 + (i % 7) * 16);
  fields_.MappingFile = dir_.Write("block.bin", image);
  fields_.FileMapping = true;
  fields_.Block = "0006";
  fields_.MultiPage = true;
  struct Case {
    const char* start;
    const char* count;
  } cases[] = {{"0003", "1"}, {"0004", "3"}};
  for (const Case& c : cases) {
    EraseBlock("0006");
    Clear();
    fields_.Page = c.start;
    fields_.PageCount = c.count;
    const FlashOutcome out = FlashRwWrite(*state_, feedback_, fields_);
    ASSERT_EQ(out.Status, FlashStatus::kDone) << out.Message;
    const uint32_t first = ParseStepperText(c.start).value();
    const uint32_t end = first + ParseStepperText(c.count).value();
    for (uint32_t p = first; p < end; ++p) {
      // 1 K per page; the image ends 100 bytes into page 5, and zeros follow.
      std::vector<uint8_t> want(1024, 0);
      for (size_t i = 0; i < want.size(); ++i) {
        const size_t at = p * kPageBytes + i;
        if (at < image.size()) want[i] = static_cast<uint8_t>(image[at]);
      }
      EXPECT_EQ(DrivePage(6, p), want) << "page " << p;
    }
    // The raw view shows the last page written; the spare view is emptied.
    ASSERT_TRUE(out.RawView && out.SpareView);
    EXPECT_EQ(Lines(*out.RawView), 64u);
    EXPECT_EQ(*out.SpareView, "");
  }
}

TEST_F(FlashRwTest, FileMappingNeedsAReadableFile) {
  fields_.FileMapping = true;
  fields_.Block = "0006";
  fields_.Page = "0002";
  FlashOutcome out = FlashRwWrite(*state_, feedback_, fields_);
  EXPECT_EQ(out.Status, FlashStatus::kRefused);
  EXPECT_EQ(feedback_.reported, std::vector<std::string>{kOpenFileFirstText});
  EXPECT_TRUE(wire_->Commands().empty());

  Clear();
  fields_.MappingFile = dir_.Path("gone.bin");
  out = FlashRwWrite(*state_, feedback_, fields_);
  EXPECT_EQ(out.Status, FlashStatus::kFailed);
  EXPECT_EQ(feedback_.reported, std::vector<std::string>{"Mapping file fail--Page: 0x0002"});
  EXPECT_TRUE(wire_->Commands().empty());
  ExpectRunClosed();
}

TEST_F(FlashRwTest, EraseSaysWaitAndLeavesBufferAndViews) {
  EraseBlock("0006");
  fields_.Block = "0006";
  ASSERT_EQ(FlashRwWrite(*state_, feedback_, fields_).Status, FlashStatus::kDone);
  state_->FlashPageBuffer.fill(0xA5);
  Clear();
  const FlashOutcome out = FlashRwErase(*state_, feedback_, fields_);
  EXPECT_EQ(out.Status, FlashStatus::kDone);
  EXPECT_EQ(Opcodes(), std::vector<uint8_t>{0x0C});
  EXPECT_EQ(wire_->Commands()[0].dataSectors, 3u);
  EXPECT_EQ(feedback_.shown, std::vector<std::string>{kFlashWaitingText});
  EXPECT_EQ(feedback_.pendingEventRuns, 1);
  EXPECT_EQ(feedback_.reported, std::vector<std::string>{kEraseFlashSuccessText});
  EXPECT_FALSE(out.RawView);
  EXPECT_FALSE(out.SpareView);
  EXPECT_TRUE(std::all_of(state_->FlashPageBuffer.begin(), state_->FlashPageBuffer.end(),
                          [](uint8_t b) { return b == 0xA5; }));
  EXPECT_EQ(DrivePage(6, 0)[0], 0xFF);
  ExpectRunClosed();
}

TEST_F(FlashRwTest, FailedEraseIsReportedWithItsCode) {
  fields_.Block = "0006";
  fields_.ChCe = ByteText(4 << 3);  // interleave 4: no such CE on the drive
  const FlashOutcome out = FlashRwErase(*state_, feedback_, fields_);
  EXPECT_EQ(out.Status, FlashStatus::kFailed);
  EXPECT_EQ(feedback_.reported, std::vector<std::string>{"Erase flash fail(-7)"});
  ExpectRunClosed();
}

TEST_F(FlashRwTest, FillDataShowsDataAndSpareSectorInTheRawView) {
  fields_.FillData = "a5";
  fields_.SectorIndex = 1;  // "2 K": N = 5
  state_->FlashPageBuffer.fill(0x11);
  const FlashOutcome out = FlashRwFillData(*state_, fields_);
  EXPECT_EQ(out.Status, FlashStatus::kDone);
  EXPECT_TRUE(std::all_of(state_->FlashPageBuffer.begin(), state_->FlashPageBuffer.begin() + 5 * 512,
                          [](uint8_t b) { return b == 0xA5; }));
  EXPECT_EQ(state_->FlashPageBuffer[5 * 512], 0x11);
  ASSERT_TRUE(out.RawView && out.SpareView);
  EXPECT_EQ(Lines(*out.RawView), 5u * 32);
  EXPECT_EQ(*out.SpareView, "");
  EXPECT_TRUE(feedback_.reported.empty());
}

TEST_F(FlashRwTest, OpenFileLoadsTheStartOfTheFileAndBecomesTheMappingFile) {
  state_->FlashPageBuffer.fill(0x11);
  fields_.SectorIndex = 0;  // N = 3: 1,536 bytes
  const std::string file = dir_.Write("short.bin", std::string(1000, '\x7E'));
  FlashOutcome out = FlashRwOpenFile(*state_, fields_, file);
  EXPECT_EQ(out.Status, FlashStatus::kDone);
  EXPECT_EQ(fields_.MappingFile, std::filesystem::path(file));
  EXPECT_EQ(state_->FlashPageBuffer[999], 0x7E);
  EXPECT_TRUE(std::all_of(state_->FlashPageBuffer.begin() + 1000, state_->FlashPageBuffer.end(),
                          [](uint8_t b) { return b == 0; }));
  ASSERT_TRUE(out.RawView && out.SpareView);
  EXPECT_EQ(Lines(*out.RawView), 3u * 32);
  EXPECT_EQ(*out.SpareView, "");

  // Cancelled, or a file that cannot be read: nothing changes.
  for (const std::filesystem::path& none : {std::filesystem::path(), std::filesystem::path(dir_.Path("gone.bin")),
                                            dir_.Dir()}) {
    out = FlashRwOpenFile(*state_, fields_, none);
    EXPECT_EQ(out.Status, FlashStatus::kNothing) << none;
    EXPECT_FALSE(out.RawView);
    EXPECT_EQ(fields_.MappingFile, std::filesystem::path(file));
    EXPECT_EQ(state_->FlashPageBuffer[999], 0x7E);
  }
}

// Block, page and chunk steppers: the field steps within its bounds and the
// page is read, also at a bound. A text that is not a number is refused.
TEST_F(FlashRwTest, AddressSteppersStepTheFieldAndRead) {
  struct Case {
    FlashRwStepper stepper;
    StepDirection direction;
    const char* before;
    const char* after;  // nullptr: refused
  } cases[] = {
      {FlashRwStepper::kBlock, StepDirection::kUp, "0006", "0007"},
      {FlashRwStepper::kBlock, StepDirection::kDown, "0000", "0000"},
      {FlashRwStepper::kBlock, StepDirection::kUp, "FFFF", "FFFF"},
      {FlashRwStepper::kPage, StepDirection::kUp, "00ff", "0100"},
      {FlashRwStepper::kPage, StepDirection::kDown, "1", "0000"},
      {FlashRwStepper::kChunk, StepDirection::kUp, "0E", "0F"},
      {FlashRwStepper::kChunk, StepDirection::kUp, "FF", "FF"},
      {FlashRwStepper::kChunk, StepDirection::kUp, "100", "FF"},
      {FlashRwStepper::kChunk, StepDirection::kDown, "00", "00"},
      {FlashRwStepper::kBlock, StepDirection::kUp, "0x1F", nullptr},
      {FlashRwStepper::kPage, StepDirection::kDown, "", nullptr},
      {FlashRwStepper::kChunk, StepDirection::kUp, "1G", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.before);
    Clear();
    fields_.Block = "0006";
    fields_.Page = "0000";
    fields_.Chunk = "00";
    std::string& field = c.stepper == FlashRwStepper::kBlock  ? fields_.Block
                         : c.stepper == FlashRwStepper::kPage ? fields_.Page
                                                              : fields_.Chunk;
    field = c.before;
    const FlashOutcome out = FlashRwStep(*state_, feedback_, fields_, c.stepper, c.direction);
    if (c.after == nullptr) {
      EXPECT_EQ(out.Status, FlashStatus::kRefused);
      EXPECT_EQ(field, c.before);
      EXPECT_TRUE(wire_->Log().empty());
      ASSERT_EQ(feedback_.boxes.size(), 1u);
      EXPECT_NE(feedback_.boxes[0].text.find(std::string("\"") + c.before + "\""), std::string::npos);
      EXPECT_EQ(feedback_.boxes[0].caption, "Error");
      continue;
    }
    EXPECT_EQ(field, c.after);
    ASSERT_EQ(wire_->Commands().size(), 1u);
    const VendorCommand read = wire_->Commands()[0];
    EXPECT_EQ(read.opcode(), 0x0A);
    const FlashTarget sent = ParseFlashTarget(fields_);
    EXPECT_EQ(read.block[2] << 8 | read.block[3], static_cast<int>(sent.Address.block));
    EXPECT_EQ(read.block[4] | read.block[12] << 8, static_cast<int>(sent.Address.page));
    // What the chunk field shows is what is sent.
    EXPECT_EQ(ByteText(read.block[5]), fields_.Chunk);
    EXPECT_EQ(feedback_.reported, std::vector<std::string>{kReadFlashSuccessText});
  }
  ExpectRunClosed();
}

// Channel, interleave and plane steppers change the two bytes. Stepping the
// interleave clears "Enable Max ECC", stepping the channel keeps it; the
// plane reads only when the option field changed.
TEST_F(FlashRwTest, OptionSteppersChangeTheBytes) {
  struct Case {
    FlashRwStepper stepper;
    StepDirection direction;
    uint8_t option, chce;
    uint8_t wantOption, wantChCe;
    bool reads;
  } cases[] = {
      {FlashRwStepper::kChannel, StepDirection::kUp, 0x21, 0x41, 0x21, 0x42, true},
      {FlashRwStepper::kChannel, StepDirection::kUp, 0x21, 0x43, 0x21, 0x43, true},
      {FlashRwStepper::kChannel, StepDirection::kDown, 0x21, 0x48, 0x21, 0x48, true},
      {FlashRwStepper::kInterleave, StepDirection::kUp, 0x21, 0x41, 0x21, 0x09, true},
      {FlashRwStepper::kInterleave, StepDirection::kDown, 0x21, 0x4A, 0x21, 0x02, true},
      {FlashRwStepper::kInterleave, StepDirection::kUp, 0x21, 0x39, 0x21, 0x39, true},
      {FlashRwStepper::kPlane, StepDirection::kUp, 0x21, 0x00, 0x61, 0x00, true},
      {FlashRwStepper::kPlane, StepDirection::kUp, 0xE1, 0x00, 0xE1, 0x00, false},
      {FlashRwStepper::kPlane, StepDirection::kDown, 0x25, 0x00, 0x25, 0x00, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << static_cast<int>(c.stepper) << " " << int{c.option} << " " << int{c.chce});
    state_->FlashOption = c.option;
    state_->FlashChCe = c.chce;
    ShowBytes();
    Clear();
    const FlashOutcome out = FlashRwStep(*state_, feedback_, fields_, c.stepper, c.direction);
    EXPECT_EQ(state_->FlashOption, c.wantOption);
    EXPECT_EQ(state_->FlashChCe, c.wantChCe);
    EXPECT_EQ(fields_.Option, ByteText(c.wantOption));
    EXPECT_EQ(fields_.ChCe, ByteText(c.wantChCe));
    EXPECT_EQ(fields_.PlaneText, PlaneDisplay(c.wantOption));
    EXPECT_EQ(fields_.ChannelText, ChannelDisplay(c.wantChCe));
    EXPECT_EQ(fields_.InterleaveText, InterleaveDisplay(c.wantChCe));
    if (c.reads) {
      ASSERT_EQ(Opcodes(), std::vector<uint8_t>{0x0A});
      EXPECT_EQ(wire_->Commands()[0].block[8], c.wantOption);
      EXPECT_EQ(wire_->Commands()[0].block[10], c.wantChCe);
      EXPECT_EQ(out.Message, kReadFlashSuccessText);
    } else {
      EXPECT_TRUE(wire_->Log().empty());
      EXPECT_EQ(out.Status, FlashStatus::kNothing);
    }
  }
  ExpectRunClosed();
}

TEST_F(FlashRwTest, SetShowsTheBytesAndReadsWithBothWhenTheOptionChanged) {
  struct Case {
    bool accepted;
    uint8_t option, chce;
    bool reads;
  } cases[] = {
      {false, 0x63, 0x09, false},  // cancelled: nothing changes
      {true, 0x21, 0x0B, false},   // same option byte: no read
      {true, 0x63, 0x49, true},
  };
  for (const Case& c : cases) {
    state_->FlashOption = 0x21;
    state_->FlashChCe = 0x00;
    ShowBytes();
    Clear();
    const FlashRwFields before = fields_;
    const FlashOutcome out = FlashRwSet(*state_, feedback_, fields_, [&] {
      EXPECT_FALSE(state_->SettingsAccepted);
      if (!c.accepted) return;
      state_->FlashOption = c.option;
      state_->FlashChCe = c.chce;
      state_->SettingsAccepted = true;
    });
    if (!c.accepted) {
      EXPECT_EQ(fields_.Option, before.Option);
      EXPECT_EQ(fields_.ChCe, before.ChCe);
      EXPECT_TRUE(wire_->Log().empty());
      continue;
    }
    EXPECT_EQ(fields_.Option, ByteText(c.option));
    EXPECT_EQ(fields_.ChCe, ByteText(c.chce));
    EXPECT_EQ(fields_.PlaneText, c.reads ? PlaneDisplay(c.option) : before.PlaneText);
    EXPECT_EQ(fields_.ChannelText, ChannelDisplay(c.chce));
    EXPECT_EQ(fields_.InterleaveText, InterleaveDisplay(c.chce));
    if (c.reads) {
      ASSERT_EQ(Opcodes(), std::vector<uint8_t>{0x0A});
      EXPECT_EQ(wire_->Commands()[0].block[8], c.option);
      EXPECT_EQ(wire_->Commands()[0].block[10], c.chce);  // the new channel/CE byte too
      EXPECT_EQ(out.Status, FlashStatus::kDone);
    } else {
      EXPECT_TRUE(wire_->Log().empty());
    }
  }
}

TEST_F(FlashRwTest, EnteringThePageReadsOnceAfterStartUpAndFollowsTheCodeMode) {
  struct Case {
    int cardMode;
    bool normal;
  } cases[] = {{2, true}, {1, false}};
  for (const Case& c : cases) {
    Install(ControllerDrive(c.cardMode));
    FlashRwFields fields;  // as start-up leaves the page
    fields.TransferRate = true;
    fields.LbaMode = true;
    const FlashRwEntry first = EnterFlashRwPage(*state_, feedback_, fields);
    EXPECT_EQ(fields.LbaMode, c.normal);
    EXPECT_EQ(first.NormalFirmware, c.normal);
    EXPECT_EQ(first.LbaAndDistributionEnabled, c.normal);
    EXPECT_EQ(first.TransferRateShown, !c.normal);
    EXPECT_FALSE(fields.TransferRate);
    EXPECT_EQ(fields.Option, "21");
    EXPECT_EQ(fields.PlaneText, "00");
    EXPECT_EQ(Opcodes(), std::vector<uint8_t>{0x0A});
    EXPECT_EQ(first.Read.Status, FlashStatus::kDone);
    Clear();
    const FlashRwEntry second = EnterFlashRwPage(*state_, feedback_, fields);
    EXPECT_EQ(second.Read.Status, FlashStatus::kNothing);
    EXPECT_TRUE(wire_->Log().empty());
  }
}

}  // namespace
}  // namespace dozered
