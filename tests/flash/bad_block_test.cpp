// The bad-block diagnosis: how the original table and the mark-bad list turn
// into the three grids and the two lists (small byte fixtures), and the read
// against a simulated drive (commands, diagnostic programs, failures, the
// log file).
#include "flash/bad_block.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <algorithm>
#include <memory>

#include "app/device_scan.h"
#include "app/paths.h"
#include "device/virtual_platform.h"
#include "flash/diagnostic_code.h"
#include "protocol/result_codes.h"
#include "sim/code_images.h"
#include "sim/simulated_drive.h"
#include "support/command_fault_drive.h"
#include "support/recording_feedback.h"
#include "support/simulated_drives.h"
#include "support/temp_dir.h"
#include "support/wire_recorder.h"

namespace dozered {
namespace {

using testing::ControllerDrive;
using testing::RecordingFeedback;
using testing::VendorCommand;
using testing::WireRecorder;

void Put16(std::vector<uint8_t>& bytes, size_t offset, uint16_t value) {
  bytes[offset] = static_cast<uint8_t>(value);
  bytes[offset + 1] = static_cast<uint8_t>(value >> 8);
}

// A card information record: chips at the given (CE, channel) positions,
// with the given first ID byte.
struct Chip {
  int ce;
  int channel;
  uint8_t firstIdByte = 0x98;
};
std::vector<uint8_t> CardRecord(std::initializer_list<Chip> chips, uint16_t blocksPerCe = 1024, uint8_t ways = 2) {
  std::vector<uint8_t> record(kCardInfoSize, 0);
  for (const Chip& chip : chips) {
    record[card_info_offset::kFlashIdTable + 32 * chip.ce + 8 * chip.channel] = chip.firstIdByte;
  }
  Put16(record, card_info_offset::kBlocksPerCe, blocksPerCe);
  record[card_info_offset::kInterleaveWays] = ways;
  return record;
}

// Chips on every channel of the given CEs.
std::vector<uint8_t> CardWithCes(std::initializer_list<int> ces, uint16_t blocksPerCe = 1024, uint8_t ways = 2) {
  std::vector<uint8_t> record = CardRecord({}, blocksPerCe, ways);
  for (int ce : ces) {
    for (int h = 0; h < 4; ++h) record[card_info_offset::kFlashIdTable + 32 * ce + 8 * h] = 0x98;
  }
  return record;
}

struct MarkBadEntry {
  uint16_t block;
  uint16_t field;  // fail mask, or page and CE offset
  uint8_t channelPlane;
  uint8_t reason;
};
std::vector<uint8_t> MarkBadRecord(std::initializer_list<MarkBadEntry> entries, int stated = -1) {
  std::vector<uint8_t> record(kBadBlockMarkBadRecordSize, 0);
  Put16(record, 0, static_cast<uint16_t>(stated >= 0 ? stated : static_cast<int>(entries.size())));
  size_t at = 8;
  for (const MarkBadEntry& e : entries) {
    Put16(record, at, e.block);
    Put16(record, at + 2, e.field);
    record[at + 6] = e.channelPlane;
    record[at + 7] = e.reason;
    at += 8;
  }
  return record;
}

int GridSum(const BadBlockGrid& grid) {
  int sum = 0;
  for (int r = 1; r < kBadBlockGridSize; ++r) {
    for (int c = 1; c < kBadBlockGridSize; ++c) sum += std::stoi(grid.Cell(c, r));
  }
  return sum;
}

TEST(BadBlockTablesTest, OriginalTableListsAtMost2048Entries) {
  // Counts adding up to 3,000: 94 in each of 32 (channel, CE) cells' plane 0
  // (3,008), less 8 in the last.
  std::vector<uint8_t> table(kOriginalBadBlockTableSize, 0);
  for (int h = 0; h < 4; ++h) {
    for (int c = 0; c < 8; ++c) Put16(table, 2 * (32 * h + 4 * c), 94);
  }
  Put16(table, 2 * (32 * 3 + 4 * 7), 86);
  for (int i = 0; i < 2560; ++i) {
    if (512 + 4 * static_cast<size_t>(i) + 4 > table.size()) break;
    Put16(table, 512 + 4 * static_cast<size_t>(i), static_cast<uint16_t>(0x100 + i));
    Put16(table, 514 + 4 * static_cast<size_t>(i), 0x0213);  // plane 2, CH 1, CE 3
  }
  BadBlockCounts counts;
  BadBlockViews views;
  EXPECT_EQ(ApplyOriginalBadBlockTable(table, counts, views), 2048);
  ASSERT_EQ(views.OriginalList.size(), 2048u);
  EXPECT_EQ(views.OriginalList.front(), (Row{"0", "0x0100", "1", "3", "2"}));
  EXPECT_EQ(views.OriginalList.back(), (Row{"2047", "0x08FF", "1", "3", "2"}));
  EXPECT_EQ(views.TotalList, views.OriginalList);
  // The grid counts every entry the table states.
  EXPECT_EQ(GridSum(views.Original), 3000);
  EXPECT_EQ(views.Original.Cell(4, 8), "86");
  EXPECT_EQ(views.Original.Cell(1, 1), "94");
}

TEST(BadBlockTablesTest, OriginalGridAddsThePlanesOfEachPosition) {
  std::vector<uint8_t> table(kOriginalBadBlockTableSize, 0);
  Put16(table, 2 * (32 * 2 + 4 * 5 + 0), 1);  // channel 2, CE 5, planes 0 and 3
  Put16(table, 2 * (32 * 2 + 4 * 5 + 3), 2);
  Put16(table, 2 * (32 * 0 + 4 * 1 + 1), 4);  // channel 0, CE 1, plane 1
  BadBlockCounts counts;
  BadBlockViews views;
  EXPECT_EQ(ApplyOriginalBadBlockTable(table, counts, views), 7);
  EXPECT_EQ(counts.Original[2][5], 3);
  EXPECT_EQ(views.Original.Cell(3, 6), "3");
  EXPECT_EQ(views.Original.Cell(1, 2), "4");
  for (int r = 1; r <= 8; ++r) {
    for (int c = 5; c <= 8; ++c) EXPECT_EQ(views.Original.Cell(c, r), "0") << c << "," << r;
  }
}

// Each case: one card, one mark-bad record; the rows it adds and where they
// are counted in the run-time grid and in the total grid.
TEST(BadBlockTablesTest, MarkBadEntriesBecomeRowsAndCounts) {
  struct Count {
    int channel;
    int ce;
    int n;
  };
  struct Case {
    const char* name;
    std::vector<uint8_t> card;
    std::vector<uint8_t> record;
    std::vector<Row> rows;
    std::vector<Count> runTime;
    std::vector<Count> total;
    int outsideRunTime = 0;
    int outsideTotal = 0;
  } cases[] = {
      {"erase fail, mask 0x0011: channels 0 and 1, CE offset 0",
       CardWithCes({0, 1, 2, 3}),
       MarkBadRecord({{0x0100, 0x0011, 0, 0x80}}),
       {{"5", "*0x0100", "0", "0", "N/A"}, {"6", "*0x0100", "1", "0", "N/A"}},
       {{0, 0, 1}, {1, 0, 1}},
       {{0, 0, 1}, {1, 0, 1}}},
      {"program fail of FBlock 0x0800, CE offset 1: CE base 2 x 2",
       CardWithCes({0, 1, 2, 3, 4, 5}),
       MarkBadRecord({{0x0800, 0x1000 | 0x0123, 0x21, 0xFF}}),
       {{"5", "*0x0800", "2", "5", "1"}},
       {{2, 5, 1}},
       {{2, 5, 1}}},
      {"erase fail in the second CE group: offsets 0 and 1 become CEs 2 and 3",
       CardWithCes({0, 1, 2, 3}),
       MarkBadRecord({{0x0400, 0x0300, 0, 0x80}}),
       {{"5", "*0x0400", "2", "2", "N/A"}, {"6", "*0x0400", "2", "3", "N/A"}},
       {{2, 2, 1}, {2, 3, 1}},
       {{2, 2, 1}, {2, 3, 1}}},
      {"CEs populated at 0 and 2: run-time CE 1 counts at CE 2 in the total",
       CardWithCes({0, 2}),
       MarkBadRecord({{0x0010, 0x1000, 0x30, 0x7F}}),
       {{"5", "*0x0010", "3", "1", "0"}},
       {{3, 1, 1}},
       {{3, 2, 1}}},
      {"a position the lists do not hold: listed, counted in the run-time grid only",
       CardWithCes({0}),
       MarkBadRecord({{0x0010, 0x1000, 0x00, 0x02}}),
       {{"5", "*0x0010", "0", "1", "0"}},
       {{0, 1, 1}},
       {},
       0,
       1},
      {"channel 5 and CE 9: listed, counted nowhere",
       CardWithCes({0, 1, 2, 3}),
       MarkBadRecord({{0x0010, 0x0000, 0x52, 0xFF}, {0x1000, 0x1000, 0x10, 0xFF}}),
       {{"5", "*0x0010", "5", "0", "2"}, {"6", "*0x1000", "1", "9", "0"}},
       {},
       {},
       2,
       2},
      {"the CE is kept to 8 bits", CardWithCes({0, 1}, 1, 2),
       MarkBadRecord({{0x0080, 0x0000, 0x00, 0xFF}}),
       {{"5", "*0x0080", "0", "0", "0"}},
       {{0, 0, 1}},
       {{0, 0, 1}}},
      {"BlocksPerCe 0: the CE is the CE offset", CardWithCes({0, 1}, 0, 2),
       MarkBadRecord({{0x0800, 0x1000, 0x10, 0xFF}}),
       {{"5", "*0x0800", "1", "1", "0"}},
       {{1, 1, 1}},
       {{1, 1, 1}}},
      {"an erase fail with an empty mask adds nothing", CardWithCes({0}),
       MarkBadRecord({{0x0100, 0x0000, 0x00, 0x80}}), {}, {}, {}},
      {"a negative entry count adds nothing", CardWithCes({0}),
       MarkBadRecord({{0x0100, 0x0000, 0x00, 0xFF}}, 0x8000), {}, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CardInfo card(c.card);
    BadBlockCounts counts;
    BadBlockViews views;
    ApplyMarkBadRecord(c.record, card, BuildBadBlockPositions(card), 5, counts, views);
    EXPECT_EQ(views.TotalList, c.rows);
    EXPECT_TRUE(views.OriginalList.empty());
    BadBlockCounts expected;
    for (const Count& n : c.runTime) expected.RunTime[n.channel][n.ce] = n.n;
    for (const Count& n : c.total) expected.RunTimeMapped[n.channel][n.ce] = n.n;
    for (int h = 0; h < 4; ++h) {
      for (int ce = 0; ce < 8; ++ce) {
        EXPECT_EQ(counts.RunTime[h][ce], expected.RunTime[h][ce]) << "run-time CH" << h << " CE" << ce;
        EXPECT_EQ(counts.RunTimeMapped[h][ce], expected.RunTimeMapped[h][ce]) << "total CH" << h << " CE" << ce;
      }
    }
    EXPECT_EQ(counts.OutsideRunTimeGrid, c.outsideRunTime);
    EXPECT_EQ(counts.OutsideTotalGrid, c.outsideTotal);
  }
}

TEST(BadBlockTablesTest, OnlyTheEntriesInsideTheRecordAreRead) {
  // The record states 30,000 entries; 1,023 fit in its 8,192 bytes.
  std::vector<uint8_t> record = MarkBadRecord({}, 30000);
  for (size_t k = 0; k < 1023; ++k) {
    Put16(record, 8 + 8 * k, static_cast<uint16_t>(k));
    record[8 + 8 * k + 7] = 0xFF;
  }
  const std::vector<uint8_t> cardBytes = CardWithCes({0});
  const CardInfo card(cardBytes);
  BadBlockCounts counts;
  BadBlockViews views;
  ApplyMarkBadRecord(record, card, BuildBadBlockPositions(card), 0, counts, views);
  ASSERT_EQ(views.TotalList.size(), 1023u);
  EXPECT_EQ(views.TotalList.back()[0], "1022");
  EXPECT_EQ(counts.RunTime[0][0], 1023);
}

TEST(BadBlockTablesTest, TotalGridAddsOriginalAndMappedRunTimeCounts) {
  BadBlockCounts counts;
  counts.Original[1][2] = 4;
  counts.RunTime[1][1] = 3;
  counts.RunTimeMapped[1][2] = 3;
  BadBlockViews views;
  WriteBadBlockGridHeaders(views);
  WriteRunTimeAndTotalGrids(counts, views);
  EXPECT_EQ(views.RunTime.Cell(2, 2), "3");
  EXPECT_EQ(views.Total.Cell(2, 3), "7");
  EXPECT_EQ(views.Total.Cell(8, 8), "0");
  EXPECT_EQ(views.Total.Cell(3, 0), "CH2");
  EXPECT_EQ(views.Total.Cell(0, 8), "CE7");
  EXPECT_EQ(views.Total.Cell(0, 0), "");
  EXPECT_EQ(GridSum(views.RunTime), 3);
  EXPECT_EQ(GridSum(views.Total), 7);
}

// The position lists count any nonzero first ID byte (0xFF too); the tint
// needs a byte that is neither 0x00 nor 0xFF.
TEST(BadBlockTablesTest, PositionListsAndTintUseTheirOwnPopulatedRules) {
  const std::vector<uint8_t> record =
      CardRecord({{0, 0}, {0, 1, 0xFF}, {0, 3}, {2, 0}, {3, 0, 0xFF}, {7, 0}, {5, 2}});
  const BadBlockPositions positions = BuildBadBlockPositions(CardInfo(record));
  EXPECT_EQ(positions.Ces, (std::array<uint8_t, 8>{0, 2, 3, 7, 0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(positions.Channels, (std::array<uint8_t, 4>{0, 1, 3, 0xFF}));

  AppState state;
  std::copy(record.begin(), record.end(), state.CardInfoTable[0].begin());
  struct Case {
    int column;
    int row;
    bool tinted;
  } cases[] = {
      {1, 1, true},   // CE 0, channel 0
      {4, 1, true},   // channel 3
      {2, 1, false},  // channel 1 answered 0xFF
      {3, 1, false},  // channel 2 has no chip on CE 0 (a chip on CE 5 does not count)
      {1, 3, true},   // CE 2
      {4, 8, true},   // CE 7, channel 3
      {1, 4, false},  // CE 3 answered 0xFF
      {1, 6, false},  // CE 5 has no chip on channel 0
      {5, 1, false},  // channels 4-7 are never tinted
      {0, 1, false},  // headers
      {1, 0, false},
      {0, 0, false},
  };
  state.SelectedDevice = -1;
  for (const Case& c : cases) EXPECT_FALSE(BadBlockCellPopulated(state, c.column, c.row)) << "no drive selected";
  state.SelectedDevice = 0;
  for (const Case& c : cases) {
    EXPECT_EQ(BadBlockCellPopulated(state, c.column, c.row), c.tinted) << c.column << "," << c.row;
  }
}

// The read against a simulated drive.
class BadBlockReadTest : public ::testing::Test {
 protected:
  void Install(const sim::DriveConfig& config) {
    drive_ = std::make_shared<sim::SimulatedDrive>(config);
    fault_ = std::make_shared<CommandFaultDrive>(drive_);
    wire_ = std::make_shared<WireRecorder>(fault_);
    platform_ = &testing::InstallDisks(*state_, {wire_});
    state_->ExecutableDir = dir_.Path("exe");
    ResetEnumerator(*state_);
    ScanForControllers(*state_);
    FinishScan(*state_);
    ASSERT_EQ(state_->SelectedDevice, 0);
    WriteBadBlockGridHeaders(views_);
    wire_->ClearLog();
  }

  // The two diagnostic programs the read loads, built for the drive's ISP version.
  void PutPrograms() {
    std::array<uint8_t, 16> isp{};
    std::copy_n(state_->IspInfoTable[0].begin() + 404, 16, isp.begin());
    for (sim::DiagnosticKind kind : {sim::DiagnosticKind::kReadBadInfo, sim::DiagnosticKind::kReadFlashDiagnosis}) {
      const std::filesystem::path path = DiagnosticCodePathFor(*state_, 0, sim::DiagnosticFileName(kind));
      std::filesystem::create_directories(path.parent_path());
      const std::vector<uint8_t> file = sim::BuildDiagnosticFile(kind, isp, false);
      std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                                  static_cast<std::streamsize>(file.size()));
    }
  }

  BadBlockReadOutcome Read() {
    feedback_ = RecordingFeedback();
    wire_->ClearLog();
    return ReadBadBlocks(*state_, feedback_, views_);
  }

  std::vector<uint8_t> Opcodes() const {
    std::vector<uint8_t> ops;
    for (const VendorCommand& c : wire_->Commands()) ops.push_back(c.opcode());
    return ops;
  }

  static size_t RunTimeRows(const Rows& rows) {
    return static_cast<size_t>(std::count_if(rows.begin(), rows.end(), [](const Row& r) { return r[1][0] == '*'; }));
  }

  testing::TempDir dir_;
  std::unique_ptr<AppState> state_ = std::make_unique<AppState>();
  RecordingFeedback feedback_;
  BadBlockViews views_;
  std::shared_ptr<sim::SimulatedDrive> drive_;
  std::shared_ptr<CommandFaultDrive> fault_;
  std::shared_ptr<WireRecorder> wire_;
  VirtualPlatform* platform_ = nullptr;
};

TEST_F(BadBlockReadTest, NormalFirmwareLoadsEachProgramBeforeItsRead) {
  Install(ControllerDrive(2));
  PutPrograms();
  const BadBlockReadOutcome out = Read();
  EXPECT_EQ(Opcodes(), (std::vector<uint8_t>{0x2B, 0x44, 0x2B, 0x43}));
  const std::vector<VendorCommand> commands = wire_->Commands();
  EXPECT_EQ(commands[0].dataSectors, 6u);
  EXPECT_EQ(commands[1].block[2], 1);
  EXPECT_EQ(commands[1].dataSectors, 24u);
  EXPECT_EQ(commands[3].dataSectors, 16u);
  EXPECT_TRUE(feedback_.boxes.empty());
  EXPECT_EQ(feedback_.shown, (std::vector<std::string>{"Waitting......", "Access device success"}));
  EXPECT_TRUE(feedback_.reported.empty()) << "the final text stays";
  EXPECT_EQ(feedback_.pendingEventRuns, 1);
  EXPECT_EQ(out.Status, FlashStatus::kDone);
  EXPECT_FALSE(feedback_.RunOpen());
  EXPECT_EQ(platform_->OpenHandleCount(), 0);

  // The lists and grids tell the same story.
  ASSERT_FALSE(views_.OriginalList.empty());
  EXPECT_EQ(static_cast<int>(views_.OriginalList.size()), GridSum(views_.Original));
  const size_t runTime = RunTimeRows(views_.TotalList);
  EXPECT_GT(runTime, 0u);
  EXPECT_EQ(views_.TotalList.size(), views_.OriginalList.size() + runTime);
  EXPECT_EQ(static_cast<int>(runTime), GridSum(views_.RunTime));
  EXPECT_EQ(GridSum(views_.Total), GridSum(views_.Original) + GridSum(views_.RunTime));
  // Run-time rows are numbered on from the original rows.
  EXPECT_EQ(views_.TotalList[views_.OriginalList.size()][0], std::to_string(views_.OriginalList.size()));
  EXPECT_EQ(views_.Original.Cell(1, 0), "CH0");
}

TEST_F(BadBlockReadTest, WithoutItsProgramsTheFirmwareRefusesAndTheStatusSaysWhich) {
  Install(ControllerDrive(2));
  const BadBlockReadOutcome out = Read();
  ASSERT_EQ(feedback_.boxes.size(), 2u);
  EXPECT_EQ(feedback_.boxes[0].text,
            "It can't open " + PathText(DiagnosticCodePathFor(*state_, 0, kDgIspReadFlashDiagnosis)));
  EXPECT_EQ(feedback_.boxes[1].text, "It can't open " + PathText(DiagnosticCodePathFor(*state_, 0, kDgIspReadBadInfo)));
  EXPECT_EQ(Opcodes(), (std::vector<uint8_t>{0x44, 0x43}));
  EXPECT_EQ(out.Status, FlashStatus::kFailed);
  char expected[128];
  std::snprintf(expected, sizeof expected, "Read bad block info fail(%d), Read mark bad info fail(%d)",
                out.BadBlockInfoResult, out.MarkBadInfoResult);
  EXPECT_NE(out.BadBlockInfoResult, 0);
  EXPECT_NE(out.MarkBadInfoResult, 0);
  EXPECT_EQ(feedback_.shown.back(), expected);
}

TEST_F(BadBlockReadTest, MpispCodeNeedsNoProgram) {
  Install(ControllerDrive(1));
  const BadBlockReadOutcome out = Read();
  EXPECT_EQ(Opcodes(), (std::vector<uint8_t>{0x44, 0x43}));
  EXPECT_TRUE(feedback_.boxes.empty());
  EXPECT_EQ(out.Status, FlashStatus::kDone);
}

// A failed ReadBadBlockInfo keeps the original grid and the lists; the
// run-time rows follow the old rows, numbered from 0, and the total grid
// holds the run-time counts only.
TEST_F(BadBlockReadTest, FailedOriginalTableKeepsTheOldRowsAndAppends) {
  Install(ControllerDrive(1));
  Read();
  const BadBlockViews before = views_;
  const size_t runTime = RunTimeRows(before.TotalList);
  fault_->FailDataPhaseOf(0x44);
  const BadBlockReadOutcome out = Read();
  EXPECT_EQ(out.BadBlockInfoResult, kResultDataPhaseFailed);
  EXPECT_EQ(out.MarkBadInfoResult, 0);
  EXPECT_EQ(out.FailedResult(), kResultDataPhaseFailed);
  EXPECT_EQ(feedback_.shown.back(), "Read bad block info fail(-7)");
  EXPECT_EQ(out.Status, FlashStatus::kFailed);
  EXPECT_EQ(views_.Original.Cells, before.Original.Cells);
  EXPECT_EQ(views_.OriginalList, before.OriginalList);
  ASSERT_EQ(views_.TotalList.size(), before.TotalList.size() + runTime);
  EXPECT_TRUE(std::equal(before.TotalList.begin(), before.TotalList.end(), views_.TotalList.begin()));
  const Row& firstAppended = views_.TotalList[before.TotalList.size()];
  EXPECT_EQ(firstAppended[0], "0");
  EXPECT_EQ(firstAppended[1][0], '*');
  EXPECT_EQ(views_.RunTime.Cells, before.RunTime.Cells);
  EXPECT_EQ(GridSum(views_.Total), GridSum(views_.RunTime));
}

TEST_F(BadBlockReadTest, FailedMarkBadListLeavesTheRunTimeGridAtZero) {
  Install(ControllerDrive(1));
  fault_->FailDataPhaseOf(0x43);
  const BadBlockReadOutcome out = Read();
  EXPECT_EQ(feedback_.shown.back(), "Read mark bad info fail(-7)");
  EXPECT_EQ(out.FailedResult(), kResultDataPhaseFailed);
  EXPECT_EQ(out.Status, FlashStatus::kFailed);
  EXPECT_EQ(GridSum(views_.RunTime), 0);
  EXPECT_GT(GridSum(views_.Original), 0);
  EXPECT_EQ(views_.Total.Cells, views_.Original.Cells);
  EXPECT_EQ(views_.TotalList, views_.OriginalList);
}

TEST_F(BadBlockReadTest, DriveThatCannotBeOpened) {
  Install(ControllerDrive(1));
  platform_->Disk(0).options.openFails = true;
  const BadBlockViews before = views_;
  const BadBlockReadOutcome out = Read();
  EXPECT_EQ(feedback_.shown, (std::vector<std::string>{"Waitting......", "Access device fail"}));
  EXPECT_EQ(out.Status, FlashStatus::kFailed);
  EXPECT_TRUE(wire_->Log().empty());
  EXPECT_EQ(views_.TotalList, before.TotalList);
}

TEST_F(BadBlockReadTest, NoDriveSelectedDoesNothing) {
  Install(ControllerDrive(1));
  state_->SelectedDevice = -1;
  const BadBlockReadOutcome out = Read();
  EXPECT_EQ(out.Status, FlashStatus::kNothing);
  EXPECT_TRUE(feedback_.shown.empty());
  EXPECT_TRUE(wire_->Log().empty());
}

// While the "Save Info" log runs the original table goes into the log folder
// as read, and only when it was read.
TEST_F(BadBlockReadTest, SaveLogModeWritesTheOriginalTable) {
  Install(ControllerDrive(1));
  const std::filesystem::path folder = dir_.Path("LogInfoRB_1209_0000");
  std::filesystem::create_directories(folder);
  const std::filesystem::path file = folder / "BadBlk_Org.bin";
  state_->LogFolderName = folder.string();

  Read();
  EXPECT_FALSE(std::filesystem::exists(file)) << "only while the log runs";

  state_->SaveLogMode = true;
  const BadBlockReadOutcome out = Read();
  EXPECT_TRUE(out.OriginalFileWritten);
  ASSERT_EQ(std::filesystem::file_size(file), 12288u);
  std::vector<uint8_t> bytes(12288);
  {
    // Closed before the file is removed below: Windows refuses to remove an open file.
    std::ifstream in(file, std::ios::binary);
    in.read(reinterpret_cast<char*>(bytes.data()), 12288);
  }
  int counted = 0;
  for (int k = 0; k < 128; ++k) counted += bytes[2 * k] | bytes[2 * k + 1] << 8;
  EXPECT_EQ(counted, GridSum(views_.Original));
  EXPECT_EQ(bytes[512] | bytes[513] << 8, std::stoi(views_.OriginalList[0][1], nullptr, 16));

  std::filesystem::remove(file);
  fault_->FailDataPhaseOf(0x44);
  EXPECT_FALSE(Read().OriginalFileWritten);
  EXPECT_FALSE(std::filesystem::exists(file));

  // A folder that is not there: skipped without a message.
  fault_->FailDataPhaseOf(-1);
  state_->LogFolderName = dir_.Path("missing");
  EXPECT_FALSE(Read().OriginalFileWritten);
  EXPECT_TRUE(feedback_.boxes.empty());
  EXPECT_EQ(feedback_.shown.back(), "Access device success");
}

}  // namespace
}  // namespace dozered
