// Chunk ECC against simulated drives: the text of an answer, what the range
// run and the single-page read send, what they show and report, and counts
// that follow the flash's wear, age and read retry.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app/code_loading.h"
#include "app/device_scan.h"
#include "device/virtual_platform.h"
#include "flash/chunk_ecc.h"
#include "protocol/result_codes.h"
#include "sim/code_images.h"
#include "sim/drive_model.h"
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

constexpr uint8_t kOpLoadDiagnostic = 0x2B;
constexpr uint8_t kOpReadChunkEcc = 0x46;

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = text.find("\r\n", at);
    if (end == std::string::npos) {
      lines.push_back(text.substr(at));
      break;
    }
    lines.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  return lines;
}

TEST(ChunkEccTextTest, OnePageGivesItsLineTheHeaderAndOneLinePerRow) {
  const ChunkEccGeometry tiny{2, 1, 1};
  const uint8_t answer[] = {0x05, 0x00, 0x1F};
  EXPECT_EQ(ChunkEccPageText(tiny, 0x12, 0x1A5, answer),
            "Block:0012, Page:1A5\r\n"
            "Chunk :   0  1  Spr0\r\n"
            " RR 0 :   5  0    1F\r\n");
}

// Every count stands right-aligned under its chunk number, every spare count
// under its "SprN" label.
TEST(ChunkEccTextTest, HeaderColumnsStandAboveTheCounts) {
  const ChunkEccGeometry g;  // 16 chunks, 2 planes, 8 rows
  std::vector<uint8_t> answer(static_cast<size_t>(g.AnswerBytes()));
  for (size_t i = 0; i < answer.size(); ++i) answer[i] = static_cast<uint8_t>(i % 2 ? 0xFF : i % 41);
  const std::vector<std::string> lines = SplitLines(ChunkEccPageText(g, 0xABCD, 0xFFF, answer));
  ASSERT_EQ(lines.size(), 2u + 8u);
  EXPECT_EQ(lines[0], "Block:ABCD, Page:FFF");
  const std::string& header = lines[1];
  for (size_t r = 2; r < lines.size(); ++r) ASSERT_EQ(lines[r].size(), header.size()) << r;
  for (int row = 0; row < g.retryRows; ++row) {
    const std::string& line = lines[static_cast<size_t>(2 + row)];
    for (int group = 0; group < g.groupsPerRow; ++group) {
      for (int chunk = 0; chunk <= g.chunksPerGroup; ++chunk) {
        // The column's last character: the last digit of the label and of the count.
        const size_t end = 8 + static_cast<size_t>(group) * (16 * 3 + 6) +
                           (chunk < 16 ? static_cast<size_t>(chunk) * 3 + 2 : 16 * 3 + 5);
        char label[8];
        std::snprintf(label, sizeof label, "%X", chunk < 16 ? chunk : group);
        EXPECT_EQ(header[end], label[0]) << chunk;
        char count[8];
        std::snprintf(count, sizeof count, "%X", answer[static_cast<size_t>(g.Offset(row, group, chunk))]);
        EXPECT_EQ(line[end], count[std::strlen(count) - 1]) << row << " " << group << " " << chunk;
        EXPECT_EQ(line[end + 1 - std::strlen(count) - 1], ' ');
      }
    }
  }
  EXPECT_EQ(header.substr(header.size() - 6), "  Spr1");
  EXPECT_EQ(lines[9].substr(0, 8), " RR 7 : ");
}

TEST(ChunkEccTextTest, TargetByteHoldsCeAndChannel) {
  EXPECT_EQ(ChunkEccTarget(7, 3), 0x3B);
  EXPECT_EQ(ChunkEccTarget(0, 0), 0x00);
  EXPECT_EQ(ChunkEccTarget(1, 2), 0x0A);
}

class ChunkEccTest : public ::testing::Test {
 protected:
  void SetUp() override { Install(ControllerDrive(2)); }

  void Install(const sim::DriveConfig& config, bool programs = true) {
    state_ = std::make_unique<AppState>();
    drive_ = std::make_shared<sim::SimulatedDrive>(config);
    fault_ = std::make_shared<CommandFaultDrive>(drive_);
    wire_ = std::make_shared<WireRecorder>(fault_);
    testing::InstallDisks(*state_, {wire_});
    state_->ExecutableDir = dir_.Path("exe");
    std::filesystem::create_directories(state_->ExecutableDir);
    ResetEnumerator(*state_);
    ScanForControllers(*state_);
    FinishScan(*state_);
    ASSERT_EQ(state_->SelectedDevice, 0);
    if (programs) PutProgram(true, true);
    Clear();
  }

  // DgISP_ReadChunkEcc.bin beside the executable and in the drive's folder.
  void PutProgram(bool beside, bool inFolder) {
    const auto file = sim::BuildDiagnosticFile(sim::DiagnosticKind::kReadChunkEcc, drive_->model().identity.ispVersion,
                                               false);
    std::vector<std::filesystem::path> places;
    if (beside) places.push_back(state_->ExecutableDir / kDgIspReadChunkEcc);
    if (inFolder) places.push_back(DiagnosticCodePathFor(*state_, 0, kDgIspReadChunkEcc));
    for (const auto& place : places) {
      std::filesystem::create_directories(place.parent_path());
      std::ofstream(place, std::ios::binary)
          .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    }
  }

  void Clear() {
    wire_->ClearLog();
    feedback_ = RecordingFeedback();
  }

  std::vector<VendorCommand> Sent(uint8_t opcode) const {
    std::vector<VendorCommand> sent;
    for (const VendorCommand& c : wire_->Commands()) {
      if (c.opcode() == opcode) sent.push_back(c);
    }
    return sent;
  }

  ChunkEccFields Range(const char* startBlock, const char* endBlock, const char* startPage, const char* endPage) {
    ChunkEccFields f;
    f.StartBlock = startBlock;
    f.EndBlock = endBlock;
    f.StartPage = startPage;
    f.EndPage = endPage;
    f.Ch = "0";
    f.Ce = "0";
    return f;
  }

  // An F-block that arrived holding data on channels 0 and 1 (CE 0, plane 0).
  uint32_t DataBlock() const {
    const sim::DriveModel& model = drive_->model();
    for (int fblock = 16;; ++fblock) {
      bool data = true;
      for (int channel = 0; channel < 2; ++channel) {
        const sim::PhysicalBlock b = model.layout.BlockOfFBlock(fblock, channel, 0, 0);
        data = data && model.flash.InitialContentOf(b) == sim::InitialContent::kData &&
               model.EraseCountOf(b) < 1.2 * model.config.averageEraseCount + 100;
      }
      if (data) return static_cast<uint32_t>(fblock);
    }
  }

  std::unique_ptr<AppState> state_;
  RecordingFeedback feedback_;
  std::shared_ptr<sim::SimulatedDrive> drive_;
  std::shared_ptr<CommandFaultDrive> fault_;
  std::shared_ptr<WireRecorder> wire_;
  testing::TempDir dir_;
};

TEST_F(ChunkEccTest, RangeRunReadsEveryPageOfEveryBlockAndPrintsThem) {
  ChunkEccFields f = Range("0100", "0101", "1A4", "1A5");
  f.Ch = "3";
  f.Ce = "7";
  const FlashOutcome out = RunChunkEccRange(*state_, feedback_, f);
  EXPECT_EQ(out.Status, FlashStatus::kDone);
  EXPECT_EQ(feedback_.shown, std::vector<std::string>{kFlashWaitingText});
  EXPECT_EQ(feedback_.reported, std::vector<std::string>{kReadChunkSuccessText});
  EXPECT_TRUE(feedback_.boxes.empty());
  EXPECT_FALSE(feedback_.RunOpen());
  // The program first, once the drive is open; then one command per page.
  ASSERT_FALSE(wire_->Commands().empty());
  EXPECT_EQ(wire_->Commands().front().opcode(), kOpLoadDiagnostic);
  const std::vector<VendorCommand> sent = Sent(kOpReadChunkEcc);
  ASSERT_EQ(sent.size(), 4u);
  const uint32_t expected[][2] = {{0x100, 0x1A4}, {0x100, 0x1A5}, {0x101, 0x1A4}, {0x101, 0x1A5}};
  for (size_t i = 0; i < sent.size(); ++i) {
    const std::vector<uint8_t>& b = sent[i].block;
    EXPECT_EQ((b[2] << 8) | b[3], static_cast<int>(expected[i][0])) << i;
    EXPECT_EQ(b[4], 0x3B) << i;                               // CE 7, CH 3
    EXPECT_EQ(b[5], expected[i][1] & 0xFF) << i;              // 0x1A5 is sent as 0xA5
    EXPECT_EQ(b[12], 0) << i;
    EXPECT_EQ(b[8], 0) << i;
    EXPECT_EQ(b[10], 0) << i;
    EXPECT_EQ(sent[i].dataSectors, 1u) << i;                  // 17 x 2 x 8 = 272 bytes
  }
  ASSERT_TRUE(out.RawView);
  const std::vector<std::string> lines = SplitLines(*out.RawView);
  ASSERT_EQ(lines.size(), 4u * 10u);
  EXPECT_EQ(lines[0], "Block:0100, Page:1A4");
  EXPECT_EQ(lines[10], "Block:0100, Page:1A5");
  EXPECT_EQ(lines[30], "Block:0101, Page:1A5");
  EXPECT_EQ(lines[1].substr(0, 11), "Chunk :   0");
  // The last answer is what the buffer holds.
  EXPECT_EQ(SplitLines(ChunkEccPageText(SelectedChunkEccGeometry(*state_), 0x101, 0x1A5, state_->PageDataBuffer))[2],
            lines[32]);
}

TEST_F(ChunkEccTest, DisableOrphanTablePutsTwoInBothOptionBytes) {
  ChunkEccFields f = Range("0010", "0010", "0", "0");
  f.DisableOrphan = true;
  RunChunkEccRange(*state_, feedback_, f);
  const std::vector<VendorCommand> sent = Sent(kOpReadChunkEcc);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].block[8], 2);
  EXPECT_EQ(sent[0].block[10], 2);
}

TEST_F(ChunkEccTest, StartAboveEndSendsNoReadAndSucceeds) {
  for (ChunkEccFields f : {Range("0011", "0010", "0", "5"), Range("0010", "0011", "6", "5")}) {
    Clear();
    const FlashOutcome out = RunChunkEccRange(*state_, feedback_, f);
    EXPECT_TRUE(Sent(kOpReadChunkEcc).empty());
    EXPECT_EQ(out.RawView, std::optional<std::string>(""));
    EXPECT_EQ(feedback_.reported, std::vector<std::string>{kReadChunkSuccessText});
  }
}

TEST_F(ChunkEccTest, FailureOnTheThirdPageClearsTheWholeText) {
  fault_->FailDataPhaseOf(kOpReadChunkEcc, 2);
  const FlashOutcome out = RunChunkEccRange(*state_, feedback_, Range("0010", "0010", "0", "4"));
  EXPECT_EQ(out.Status, FlashStatus::kFailed);
  EXPECT_EQ(out.Result, kResultDataPhaseFailed);
  EXPECT_EQ(out.RawView, std::optional<std::string>(""));
  EXPECT_EQ(feedback_.reported, std::vector<std::string>{kReadChunkFailText});
  EXPECT_EQ(fault_->FailedDataPhases(), 1);
  EXPECT_EQ(Sent(kOpReadChunkEcc).size(), 3u);  // the run ends at the failure
}

// CH and CE start without a selection: nothing goes to the drive until both
// are chosen, and the status line says what is missing.
TEST_F(ChunkEccTest, MissingChannelOrCeSendsNothingAndSaysWhatToSelect) {
  struct Case {
    const char* ch;
    const char* ce;
    const char* message;
  } cases[] = {{"", "", kSelectChAndCeText}, {"", "1", kSelectChText}, {"2", "", kSelectCeText},
               {"4", "0", kSelectChText},    {"1", "x", kSelectCeText}};
  for (const Case& c : cases) {
    Clear();
    ChunkEccFields f = Range("0010", "0010", "0", "0");
    f.Ch = c.ch;
    f.Ce = c.ce;
    const FlashOutcome out = RunChunkEccRange(*state_, feedback_, f);
    EXPECT_EQ(out.Status, FlashStatus::kRefused) << c.ch << "/" << c.ce;
    EXPECT_TRUE(wire_->Log().empty()) << c.ch << "/" << c.ce;
    EXPECT_EQ(feedback_.reported, std::vector<std::string>{c.message});
    EXPECT_FALSE(out.RawView);
  }
}

TEST_F(ChunkEccTest, ProgramMissingBesideTheExecutableEndsWithItsMessage) {
  std::filesystem::remove(state_->ExecutableDir / kDgIspReadChunkEcc);
  const FlashOutcome out = RunChunkEccRange(*state_, feedback_, Range("0010", "0010", "0", "0"));
  EXPECT_EQ(out.Status, FlashStatus::kFailed);
  EXPECT_TRUE(wire_->Log().empty());
  EXPECT_EQ(feedback_.boxes,
            std::vector<RecordedMessageBox>({{kChunkEccFileMissingText, kErrorCaption, MessageIcon::Error}}));
  EXPECT_FALSE(out.RawView);
}

// A program the drive's folder lacks is announced and the run goes on; the
// firmware then refuses the read.
TEST_F(ChunkEccTest, FailedLoadDoesNotStopTheRun) {
  std::filesystem::remove(DiagnosticCodePathFor(*state_, 0, kDgIspReadChunkEcc));
  const FlashOutcome out = RunChunkEccRange(*state_, feedback_, Range("0010", "0010", "0", "0"));
  ASSERT_EQ(feedback_.boxes.size(), 1u);
  EXPECT_NE(feedback_.boxes[0].text.find("It can't open "), std::string::npos);
  EXPECT_TRUE(Sent(kOpLoadDiagnostic).empty());
  EXPECT_EQ(Sent(kOpReadChunkEcc).size(), 1u);
  EXPECT_EQ(feedback_.reported, std::vector<std::string>{kReadChunkFailText});
  EXPECT_EQ(out.Status, FlashStatus::kFailed);
}

TEST_F(ChunkEccTest, DriveThatCannotBeOpenedIsReported) {
  state_->Controllers[0].Close();
  dynamic_cast<VirtualPlatform&>(*state_->Platform).Disk(0).options.openFails = true;
  const FlashOutcome out = RunChunkEccRange(*state_, feedback_, Range("0010", "0010", "0", "0"));
  EXPECT_EQ(out.Status, FlashStatus::kFailed);
  EXPECT_EQ(out.Result, kResultOpenFailed);
  EXPECT_EQ(feedback_.reported, std::vector<std::string>{kFlashAccessDeviceFailText});
  EXPECT_TRUE(Sent(kOpReadChunkEcc).empty());
}

TEST_F(ChunkEccTest, NothingHappensWithoutASelectedDrive) {
  state_->SelectedDevice = -1;
  FlashRwFields rw;
  for (const FlashOutcome& out : {RunChunkEccRange(*state_, feedback_, Range("0", "0", "0", "0")),
                                  ReadChunkEccPage(*state_, feedback_, rw)}) {
    EXPECT_EQ(out.Status, FlashStatus::kNothing);
  }
  EXPECT_TRUE(wire_->Log().empty());
  EXPECT_TRUE(feedback_.shown.empty() && feedback_.reported.empty() && feedback_.boxes.empty());
}

// The ChunkECC button of the Flash RW page sends the page's address as a
// read does and shows the answer raw; the drive answers for that page.
TEST_F(ChunkEccTest, SinglePageReadSendsTheFlashRwAddressAndShowsTheAnswerRaw) {
  FlashRwFields rw;
  rw.Block = "0123";
  rw.Page = "0104";
  rw.Chunk = "05";
  rw.Option = "21";
  rw.ChCe = "0A";  // CE 1, channel 2
  rw.SectorIndex = 0;
  state_->FlashPageBuffer.fill(0xEE);
  const FlashOutcome out = ReadChunkEccPage(*state_, feedback_, rw);
  ASSERT_EQ(out.Status, FlashStatus::kDone);
  EXPECT_EQ(feedback_.reported, std::vector<std::string>{kReadFlashSuccessText});
  EXPECT_EQ(feedback_.shown, std::vector<std::string>{kFlashWaitingText});
  const std::vector<VendorCommand> sent = Sent(kOpReadChunkEcc);
  ASSERT_EQ(sent.size(), 1u);
  const std::vector<uint8_t>& b = sent[0].block;
  EXPECT_EQ((b[2] << 8) | b[3], 0x123);
  EXPECT_EQ(b[4], 0x04);
  EXPECT_EQ(b[12], 0x01);
  EXPECT_EQ(b[5], 0x05);
  EXPECT_EQ(b[8], 0x21);
  EXPECT_EQ(b[10], 0x0A);
  EXPECT_EQ(sent[0].dataSectors, 3u);
  ASSERT_TRUE(out.RawView && out.SpareView);
  EXPECT_EQ(std::count(out.RawView->begin(), out.RawView->end(), '\n'), 3 * 512 / 16);
  EXPECT_TRUE(out.SpareView->empty());
  EXPECT_EQ(state_->FlashPageBuffer[272], 0);

  // A page holding data, through both: the same counts.
  char block[8];
  std::snprintf(block, sizeof block, "%04X", static_cast<unsigned>(DataBlock()));
  rw.Block = block;
  rw.Page = "0066";
  rw.ChCe = "00";
  ASSERT_EQ(ReadChunkEccPage(*state_, feedback_, rw).Status, FlashStatus::kDone);
  const std::vector<uint8_t> single(state_->FlashPageBuffer.begin(), state_->FlashPageBuffer.begin() + 272);
  EXPECT_TRUE(std::any_of(single.begin(), single.end(), [](uint8_t c) { return c != 0; }));
  ASSERT_EQ(RunChunkEccRange(*state_, feedback_, Range(block, block, "066", "066")).Status, FlashStatus::kDone);
  EXPECT_TRUE(std::equal(single.begin(), single.end(), state_->PageDataBuffer.begin()));
}

TEST_F(ChunkEccTest, FailedSinglePageReadKeepsTheBufferAndViews) {
  fault_->FailDataPhaseOf(kOpReadChunkEcc);
  state_->FlashPageBuffer.fill(0x5A);
  const FlashOutcome out = ReadChunkEccPage(*state_, feedback_, FlashRwFields{});
  EXPECT_EQ(out.Status, FlashStatus::kFailed);
  EXPECT_EQ(feedback_.reported, std::vector<std::string>{"Read flash fail(-7)"});
  EXPECT_FALSE(out.RawView);
  EXPECT_FALSE(out.SpareView);
  EXPECT_TRUE(std::all_of(state_->FlashPageBuffer.begin(), state_->FlashPageBuffer.end(),
                          [](uint8_t b) { return b == 0x5A; }));
}

// What a page's counts add up to at each retry level, from one range run of
// one page.
struct PageCounts {
  std::vector<int> perLevel;  // uncorrectable chunks count as t + 1
  bool withinT = true;
  int Best() const { return *std::min_element(perLevel.begin(), perLevel.end()); }
};

class ChunkEccPhysicsTest : public ChunkEccTest {
 protected:
  PageCounts Measure(uint32_t block, const std::string& page, const std::string& ch) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(block));
    ChunkEccFields f = Range(text, text, page.c_str(), page.c_str());
    f.Ch = ch;
    RecordingFeedback quiet;
    EXPECT_EQ(RunChunkEccRange(*state_, quiet, f).Status, FlashStatus::kDone);
    const ChunkEccGeometry g = SelectedChunkEccGeometry(*state_);
    PageCounts counts;
    for (int row = 0; row < g.retryRows; ++row) {
      int sum = 0;
      for (int group = 0; group < g.groupsPerRow; ++group) {
        for (int chunk = 0; chunk <= g.chunksPerGroup; ++chunk) {
          const uint8_t c = state_->PageDataBuffer[static_cast<size_t>(g.Offset(row, group, chunk))];
          if (c != 0xFF && c > 40) counts.withinT = false;
          sum += c == 0xFF ? 41 : c;
        }
      }
      counts.perLevel.push_back(sum);
    }
    return counts;
  }

  static sim::DriveConfig Aged(int eraseCount, int hours) {
    sim::DriveConfig config = ControllerDrive(2, 3000);
    config.averageEraseCount = eraseCount;
    config.dataAgeHours = hours;
    return config;
  }
};

// The same MSB page (0x66) of the same data block on a fresh drive and on a
// worn, aged one: counts rise with wear and age, and the best retry level
// beats level 0 on the worn one. The worn drive's channels differ, and its
// LSB page (0x65) shows fewer errors than its MSB page.
TEST_F(ChunkEccPhysicsTest, CountsRiseWithWearAndAgeAndFallWithRetry) {
  Install(Aged(3000, 24 * 365));
  const uint32_t block = DataBlock();
  const PageCounts worn = Measure(block, "66", "0");
  const PageCounts wornOtherDie = Measure(block, "66", "1");
  const PageCounts wornLsb = Measure(block, "65", "0");
  Install(Aged(12, 24));  // the same seed: the same blocks hold data
  ASSERT_EQ(DataBlock(), block);
  const PageCounts fresh = Measure(block, "66", "0");
  EXPECT_TRUE(fresh.withinT && worn.withinT && wornOtherDie.withinT && wornLsb.withinT);
  EXPECT_GT(worn.perLevel[0], 10 * std::max(fresh.perLevel[0], 1));
  EXPECT_LT(worn.Best(), worn.perLevel[0] / 2);
  EXPECT_NE(worn.perLevel, wornOtherDie.perLevel);
  EXPECT_LT(wornLsb.perLevel[0], worn.perLevel[0] / 3);
}

}  // namespace
}  // namespace dozered
