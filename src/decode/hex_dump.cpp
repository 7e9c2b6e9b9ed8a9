#include "decode/hex_dump.h"

#include <array>
#include <cstring>

namespace dozered {
namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

constexpr char kHeader[kHexDumpLineSize + 1] =
    "         00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F "
    "                     \r\n";
static_assert(sizeof(kHeader) == kHexDumpLineSize + 1);

// "XX " for every byte value, padded to four characters so that each cell can
// be stored with one 4-byte copy (the pad is overwritten by the next cell).
struct CellTable {
  std::array<std::array<char, 4>, 256> cell{};
  std::array<char, 256> shown{};
  constexpr CellTable() {
    for (int b = 0; b < 256; ++b) {
      cell[b] = {kDigits[b >> 4], kDigits[b & 15], ' ', ' '};
      shown[b] = (b >= 0x20 && b <= 0x7E) ? static_cast<char>(b) : '.';
    }
  }
};
constexpr CellTable kCells;

void WriteOffset(char* p, uint32_t offset) {
  for (int i = 7; i >= 0; --i) {
    p[i] = kDigits[offset & 15];
    offset >>= 4;
  }
  p[8] = ' ';
}

void WriteFullRow(char* p, const uint8_t* row, uint32_t offset) {
  WriteOffset(p, offset);
  char* hex = p + 9;
  for (int i = 0; i < 16; ++i) std::memcpy(hex + 3 * i, kCells.cell[row[i]].data(), 4);
  std::memcpy(p + 57, "   ", 3);
  for (int i = 0; i < 16; ++i) p[60 + i] = kCells.shown[row[i]];
  std::memcpy(p + 76, "  \r\n", 4);
}

void WritePartialRow(char* p, const uint8_t* row, size_t count, uint32_t offset) {
  std::memset(p, ' ', kHexDumpLineSize);
  WriteOffset(p, offset);
  for (size_t i = 0; i < count; ++i) {
    p[9 + 3 * i] = kCells.cell[row[i]][0];
    p[10 + 3 * i] = kCells.cell[row[i]][1];
    p[60 + i] = kCells.shown[row[i]];
  }
  std::memcpy(p + 78, "\r\n", 2);
}

}  // namespace

size_t FormatHexDump(std::span<const uint8_t> bytes, char* out, size_t outSize) {
  if (out == nullptr || outSize == 0) return 0;
  const size_t length = bytes.size() < kHexDumpMaxBytes ? bytes.size() : kHexDumpMaxBytes;
  const size_t rows = (length + 15) / 16;
  const size_t linesThatFit = (outSize - 1) / kHexDumpLineSize;

  size_t written = 0;
  if (linesThatFit >= 1) {
    std::memcpy(out, kHeader, kHexDumpLineSize);
    written = kHexDumpLineSize;
    const size_t rowsToWrite = rows < linesThatFit - 1 ? rows : linesThatFit - 1;
    const uint8_t* src = bytes.data();
    for (size_t r = 0; r < rowsToWrite; ++r) {
      const size_t start = 16 * r;
      const size_t count = length - start < 16 ? length - start : 16;
      char* line = out + written;
      if (count == 16) {
        WriteFullRow(line, src + start, static_cast<uint32_t>(start));
      } else {
        WritePartialRow(line, src + start, count, static_cast<uint32_t>(start));
      }
      written += kHexDumpLineSize;
    }
  }
  std::memset(out + written, 0, outSize - written);
  return written;
}

}  // namespace dozered
