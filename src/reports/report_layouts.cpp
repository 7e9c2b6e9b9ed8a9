#include "reports/report_layouts.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <vector>

namespace dozered {
namespace {

// Appends printf-formatted text to `out`.
__attribute__((format(printf, 2, 3))) void Append(std::string& out, const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  if (length > 0) {
    const size_t at = out.size();
    out.resize(at + static_cast<size_t>(length) + 1);
    std::vsnprintf(out.data() + at, static_cast<size_t>(length) + 1, format, again);
    out.resize(at + static_cast<size_t>(length));
  }
  va_end(again);
}

// Column `column` of a row; a row with fewer texts has "" there.
const char* Cell(const Row& row, size_t column) {
  return column < row.size() ? row[column].c_str() : "";
}

constexpr size_t kEraseCountEndOffset = 16384;
constexpr int kEraseCountBlockLimit = 8192;

}  // namespace

std::string IdentifyLayout(const Rows& rows) {
  std::string out;
  for (const Row& row : rows) {
    if (Cell(row, 0)[0] == '\0') {
      Append(out, "        %-80s\r\n", Cell(row, 1));
    } else {
      Append(out, "%-70s  %-80s\r\n", Cell(row, 0), Cell(row, 1));
    }
  }
  return out;
}

std::string SmartLayout(const Rows& rows) {
  std::string out;
  Append(out, "ID %-50s  %-10s  %-10s  %-10s\r\n", "Item", "Current", "Worst", "Raw data");
  for (const Row& row : rows) {
    Append(out, "%-53s  %-10s  %-10s  %-18s\r\n", Cell(row, 0), Cell(row, 1), Cell(row, 2), Cell(row, 3));
  }
  return out;
}

std::string CaptionLayout(const Rows& rows) {
  std::string out;
  for (const Row& row : rows) Append(out, "%s\r\n", Cell(row, 0));
  return out;
}

std::string MarkBadLayout(const Rows& rows) {
  std::string out;
  Append(out, "Total MarkBad Count:%-5d\r\n", static_cast<int>(rows.size()));
  out += "Block        Page        Fail Reason       CE      Channel    Plane      Erase Count\r\n";
  for (const Row& row : rows) {
    Append(out, "%-12s %-11s %-17s %-7s %-10s %-10s %-17s\r\n", Cell(row, 0), Cell(row, 1), Cell(row, 2),
           Cell(row, 3), Cell(row, 4), Cell(row, 5), Cell(row, 6));
  }
  return out;
}

std::string BadBlockMapLayout(const BadBlockMapCells& cells) {
  std::string out = "      CH0     CH1     CH2     CH3     CH4     CH5     CH6     CH7\r\n";
  for (size_t r = 0; r < 8; ++r) {
    const auto& line = cells[r + 1];
    Append(out, "CE%d    %-7s %-7s %-7s %-7s %-7s %-7s %-7s %-7s\r\n", static_cast<int>(r), line[1].c_str(),
           line[2].c_str(), line[3].c_str(), line[4].c_str(), line[5].c_str(), line[6].c_str(), line[7].c_str(),
           line[8].c_str());
  }
  return out;
}

std::string BadBlockListLayout(const Rows& rows) {
  std::string out = "NO      FBlock        CE     CH\r\n";
  for (const Row& row : rows) {
    Append(out, "%-7s %-14s %-6s %-7s\r\n", Cell(row, 0), Cell(row, 1), Cell(row, 2), Cell(row, 3));
  }
  return out;
}

std::string MemoLayout(std::string_view text) {
  std::string out;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    out.append(line);
    out += "\r\n";
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return out;
}

EraseCountRange EraseCountBlockRange(std::span<const uint8_t> table, int16_t startBlock) {
  EraseCountRange range;
  range.First = std::max<int>(startBlock, 0);
  int end = 0;
  if (table.size() >= kEraseCountEndOffset + 2) {
    end = static_cast<int16_t>(table[kEraseCountEndOffset] | (table[kEraseCountEndOffset + 1] << 8));
  }
  const int present = static_cast<int>(std::min<size_t>(table.size() / 2, kEraseCountBlockLimit));
  range.End = std::min({end, kEraseCountBlockLimit, present});
  return range;
}

uint16_t EraseCountEntry(std::span<const uint8_t> table, int block) {
  const size_t at = 2 * static_cast<size_t>(block);
  if (block < 0 || at + 1 >= table.size()) return kBadBlockEntry;
  return static_cast<uint16_t>(table[at] | (table[at + 1] << 8));
}

std::string EraseCountExportLayout(std::span<const uint8_t> table, int16_t startBlock, uint32_t badBlockTotal) {
  const EraseCountRange range = EraseCountBlockRange(table, startBlock);
  unsigned minimum = 0x8000;
  unsigned maximum = 0;
  for (int i = range.First; i < range.End; ++i) {
    const uint16_t entry = EraseCountEntry(table, i);
    if (entry == kBadBlockEntry) continue;
    const unsigned count = entry & 0x7FFFu;
    minimum = std::min(minimum, count);
    maximum = std::max(maximum, count);
  }

  std::string out = "Host Write Sector Count(Since Power On) \r\n";
  uint32_t total = 0;
  for (int i = range.First; i < range.End; ++i) {
    const uint16_t entry = EraseCountEntry(table, i);
    if (entry == kBadBlockEntry) {
      Append(out, "FBlock= %04d(0x%04X)    Erase Count= 0000 -- Bad Block\r\n", i, static_cast<unsigned>(i));
      continue;
    }
    const unsigned count = entry & 0x7FFFu;
    const char* mark = count == minimum ? " -- Min Erase Cnt" : count == maximum ? " -- Max Erase Cnt" : "";
    Append(out, "FBlock= %04d(0x%04X)    Erase Count= %04d%s\r\n", i, static_cast<unsigned>(i),
           static_cast<int>(count), mark);
    total += count;
  }
  out += "-----------------------------------------------------\r\n";
  Append(out, "Total Erase Count= 0x%X(%d)\r\n", static_cast<unsigned>(total), static_cast<int>(total));
  Append(out, "Bad Block Count= 0x%X(%d)\r\n", static_cast<unsigned>(badBlockTotal), static_cast<int>(badBlockTotal));
  return out;
}

}  // namespace dozered
