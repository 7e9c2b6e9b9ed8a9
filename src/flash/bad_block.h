// Bad-block diagnosis: where the drive's bad blocks are, per channel and CE.
//
// Two controller answers are combined. The original bad-block table
// (ReadBadBlockInfo) holds the blocks the flash maker and the pre-test
// marked, with a count per channel, CE and plane and one entry per block.
// The mark-bad list (ReadMarkBadInfo) holds the blocks that went bad in use.
// The read turns them into three 9 x 9 grids (original, run-time and total
// counts, with "CH%d" / "CE%d" headers in row 0 and column 0) and two lists
// of blocks (columns "No", "FBlock", "CH", "CE", "Plane"); run-time rows
// carry a "*" before the block number.
//
// The grids and lists are a BadBlockViews the caller keeps: the page shows
// them, the "Save Info" log writes them. A read replaces what its commands
// answered and leaves the rest, so the caller hands in the views as they are:
//
//   BadBlockViews views;                 // kept between reads
//   WriteBadBlockGridHeaders(views);     // entering the page
//   BadBlockReadOutcome out = ReadBadBlocks(state, feedback, views);
//
// With SaveLogMode set (the "Save Info" log runs) the read also stores the
// original table as "BadBlk_Org.bin" in the log folder LogFolderName.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "app/app_state.h"
#include "app/feedback.h"
#include "decode/rows.h"
#include "flash/flash_operation.h"
#include "protocol/card_info.h"

namespace dozered {

inline constexpr char kBadBlockAccessSuccessText[] = "Access device success";
inline constexpr char kBadBlockAccessFailText[] = "Access device fail";
inline constexpr char kBadBlockMemoryFailText[] = "Memory allocate fail";
inline constexpr char kReadBadBlockInfoFailFormat[] = "Read bad block info fail(%d)";
inline constexpr char kBadBlockReadMarkBadFailFormat[] = "Read mark bad info fail(%d)";
inline constexpr char kOriginalBadBlockFileName[] = "BadBlk_Org.bin";

// The original bad-block table: 12,288 bytes, 128 counts (channel h, CE c,
// plane k at word 32h + 4c + k), then from byte 512 one 4-byte entry per
// block: FBlock, and a position word (bits 0-3 CE, 4-7 channel, 8-11 plane).
inline constexpr size_t kOriginalBadBlockTableSize = 0x3000;
inline constexpr uint8_t kOriginalBadBlockTableSelector = 1;
inline constexpr size_t kOriginalBadBlockEntriesOffset = 512;
inline constexpr int kOriginalBadBlockListLimit = 2048;
// The mark-bad list: 16 sectors, 8,192 bytes of which hold the record.
inline constexpr uint32_t kBadBlockMarkBadSectors = 16;
inline constexpr size_t kBadBlockMarkBadRecordSize = 8192;
inline constexpr uint8_t kMarkBadEraseFail = 0x80;

// The count tables cover channels 0-3 and CEs 0-7; the grids show
// channels 0-7 (4-7 always "0").
inline constexpr int kBadBlockChannels = 4;
inline constexpr int kBadBlockCes = 8;
inline constexpr int kBadBlockGridSize = 9;
// The position lists mark a slot they do not fill with this.
inline constexpr uint8_t kNoPosition = 0xFF;

// A grid as its cells' texts: Cells[row][column]; row 0 and column 0 carry
// the headers, cell (column h + 1, row c + 1) the count of channel h, CE c.
struct BadBlockGrid {
  std::array<std::array<std::string, kBadBlockGridSize>, kBadBlockGridSize> Cells;
  const std::string& Cell(int column, int row) const {
    return Cells[static_cast<size_t>(row)][static_cast<size_t>(column)];
  }
  std::string& Cell(int column, int row) { return Cells[static_cast<size_t>(row)][static_cast<size_t>(column)]; }
};

struct BadBlockViews {
  BadBlockGrid Original;  // SG_OrgBadBlock
  BadBlockGrid RunTime;   // SG_RuntimeBadBlock
  BadBlockGrid Total;     // SG_TotalBadBlock
  Rows OriginalList;      // LV_OriginalBadBlock
  Rows TotalList;         // LV_TotalBadBlock: original rows, then run-time rows ("*0x%04X")
};

// "CH%d" in row 0 and "CE%d" in column 0 of the three grids.
void WriteBadBlockGridHeaders(BadBlockViews& views);

// Where the populated CEs and channels sit, in order: the CEs c whose chip
// on channel 0 answered an ID (first ID byte nonzero), and the channels h
// whose chip on CE 0 answered. Slots not filled hold kNoPosition. Run-time
// counts of the n-th CE and channel of the mark-bad list land at the n-th
// populated position in the total grid.
struct BadBlockPositions {
  std::array<uint8_t, kBadBlockCes> Ces;
  std::array<uint8_t, kBadBlockChannels> Channels;
};
BadBlockPositions BuildBadBlockPositions(const CardInfo& card);

// The counts of one read, all zero at its start.
struct BadBlockCounts {
  int Original[kBadBlockChannels][kBadBlockCes] = {};
  int RunTime[kBadBlockChannels][kBadBlockCes] = {};        // by the entries' own channel and CE
  int RunTimeMapped[kBadBlockChannels][kBadBlockCes] = {};  // through the position lists
  int Total(int channel, int ce) const { return RunTimeMapped[channel][ce] + Original[channel][ce]; }
  // Run-time rows whose channel or CE the tables have no cell for, or whose
  // position the position lists do not hold: listed, not counted (in the
  // run-time grid or in the total grid, respectively).
  int OutsideRunTimeGrid = 0;
  int OutsideTotalGrid = 0;
};

// Counts the original table, writes the original grid, and fills both lists
// with its entries (at most 2,048). Returns the number of rows listed.
int ApplyOriginalBadBlockTable(std::span<const uint8_t> table, BadBlockCounts& counts, BadBlockViews& views);

// Counts the entries of a mark-bad record and appends one row per failed
// position to the total list, numbered on from `firstRow`. An erase-fail
// entry gives one row per bit of its fail mask (channel h, CE offset k for
// bit 4h + k, plane "N/A"); any other entry one row. The CE of an entry is
// its CE offset plus (FBlock / BlocksPerCe) x InterleaveWays, kept to 8 bits
// (the CE offset alone when BlocksPerCe is 0). Only the entries inside the
// record are read, whatever count it states.
void ApplyMarkBadRecord(std::span<const uint8_t> record, const CardInfo& card, const BadBlockPositions& positions,
                        int firstRow, BadBlockCounts& counts, BadBlockViews& views);

// Writes the run-time and total grids from the counts.
void WriteRunTimeAndTotalGrids(const BadBlockCounts& counts, BadBlockViews& views);

// How the read ended. The status is kDone when both commands succeeded,
// kFailed when one failed or the drive could not be opened, kNothing with no
// drive selected.
struct BadBlockReadOutcome {
  FlashStatus Status = FlashStatus::kNothing;
  std::string Message;                // the final status line ("" for none)
  int32_t BadBlockInfoResult = 0;     // ReadBadBlockInfo
  int32_t MarkBadInfoResult = 0;      // ReadMarkBadInfo
  BadBlockCounts Counts;
  bool OriginalFileWritten = false;   // "BadBlk_Org.bin" (SaveLogMode only)
  // The result of the first command that failed, 0 when both succeeded (a
  // caller that reports one code, such as a command line).
  int32_t FailedResult() const { return BadBlockInfoResult != 0 ? BadBlockInfoResult : MarkBadInfoResult; }
};

// The bad-block read of the selected drive (the page's BTN_BadBlockRead,
// and the "Save Info" log). In CardMode 2 the diagnostic programs
// "DgISP_ReadFlashDiagnosis.bin" and "DgISP_ReadBadInfo.bin" are loaded
// before their reads. The drive is held open around the commands. The
// original grid and the lists change only when ReadBadBlockInfo succeeded;
// the run-time rows are appended to the total list either way, and the
// run-time and total grids are rewritten. The status line shows "Access
// device success" when both commands succeeded, otherwise the failing
// command with its result ("Read bad block info fail(%d)", "Read mark bad
// info fail(%d)"); the text stays.
BadBlockReadOutcome ReadBadBlocks(AppState& state, Feedback& feedback, BadBlockViews& views);

// Writes an original table to "BadBlk_Org.bin" in `folder` (binary, created
// or replaced). False when the file cannot be written; the log skips it.
bool WriteOriginalBadBlockFile(const std::filesystem::path& folder, std::span<const uint8_t> table);

// The cell tint of the three grids: while a drive is selected, a cell in
// rows 1-8 and columns 1-4 whose CE (row - 1, on channel 0) and channel
// (column - 1, on CE 0) both hold a chip (first ID byte neither 0x00 nor
// 0xFF) is drawn in kPopulatedCellColour; every other cell, headers
// included, in the window colour.
inline constexpr uint32_t kPopulatedCellColour = 0xFFCD9B;  // 0xRRGGBB: a light orange
bool BadBlockCellPopulated(const AppState& state, int column, int row);

}  // namespace dozered
