// The text layouts of the saved files. Engineers and their scripts read these
// files, so every byte is fixed: C formatting ("%-70s" pads on the right and
// never cuts), "\r\n" line ends, nothing added. Each layout takes the rows or
// cells as the views hold them and returns the file's exact bytes; the text
// command and the "Save Info" log use the same layouts.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "decode/rows.h"

namespace dozered {

// IDENTIFY list ("Item", "Description"): "%-70s  %-80s" per row, or eight
// spaces and "%-80s" for a row whose item is empty. No header.
std::string IdentifyLayout(const Rows& rows);

// SMART list ("ID", "Current", "Worst", "Raw data"): a header line, then
// "%-53s  %-10s  %-10s  %-18s" per row.
std::string SmartLayout(const Rows& rows);

// Card information and CID lists (one column): each row's caption on a line.
std::string CaptionLayout(const Rows& rows);

// Mark-bad list ("Block", "Page", "Fail Reason", "CE", "Channel", "Plane",
// "Erase Counts"): the row count, a fixed header, one line per row.
std::string MarkBadLayout(const Rows& rows);

// A bad-block grid as its cells' texts, Cells[row][column]: row 0 and column
// 0 hold the "CH%d" / "CE%d" headers, cell (column h + 1, row c + 1) the
// count of channel h, CE c.
inline constexpr size_t kBadBlockMapSize = 9;
using BadBlockMapCells = std::array<std::array<std::string, kBadBlockMapSize>, kBadBlockMapSize>;

// A bad-block map: the channel header line and one line per CE, each cell
// "%-7s". The grid's own header cells are not written.
std::string BadBlockMapLayout(const BadBlockMapCells& cells);

// A bad-block list ("No", "FBlock", "CH", "CE", "Plane"): a header, then
// "No", "FBlock", "CH" and "CE" of each row; "Plane" is not written.
std::string BadBlockListLayout(const Rows& rows);

// A memo's text: each of its lines followed by "\r\n". Lines end at "\n" or
// "\r\n"; a line break at the very end does not start another line.
std::string MemoLayout(std::string_view text);

// The erase-count table's block range [First, End): from the card's
// EraseCountStartBlock (a negative value counts from block 0) up to the
// table's end value at byte 16,384 (signed; above 8,192 it counts as 8,192,
// and never beyond the entries the table holds). End <= First: no blocks.
struct EraseCountRange {
  int First = 0;
  int End = 0;     // the limited end value
  int Blocks() const { return End > First ? End - First : 0; }
};
EraseCountRange EraseCountBlockRange(std::span<const uint8_t> table, int16_t startBlock);

// The entry of block `block`: 0xFFFF marks a bad block; otherwise the low 15
// bits are the erase count.
inline constexpr uint16_t kBadBlockEntry = 0xFFFF;
uint16_t EraseCountEntry(std::span<const uint8_t> table, int block);

// The erase-count export: the fixed first line, one line per block of the
// range with the smallest and largest counts and the bad blocks marked, the
// separator, the total erase count and `badBlockTotal`.
std::string EraseCountExportLayout(std::span<const uint8_t> table, int16_t startBlock, uint32_t badBlockTotal);

}  // namespace dozered
