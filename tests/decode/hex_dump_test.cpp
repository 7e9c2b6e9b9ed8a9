#include "decode/hex_dump.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace dozered {
namespace {

const std::string kHeader =
    "         00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F                      \r\n";

// A data line built straight from the column table, one field at a time.
std::string ReferenceLine(const uint8_t* row, unsigned offset) {
  char buf[128];
  std::string line;
  std::snprintf(buf, sizeof buf, "%08X ", offset);
  line += buf;
  for (int i = 0; i < 16; ++i) {
    std::snprintf(buf, sizeof buf, "%02X ", row[i]);
    line += buf;
  }
  line += "   ";
  for (int i = 0; i < 16; ++i) line += (row[i] >= 0x20 && row[i] <= 0x7E) ? static_cast<char>(row[i]) : '.';
  line += "  \r\n";
  return line;
}

struct Dump {
  std::vector<char> area = std::vector<char>(kHexDumpMaxTextSize + 64, 'Q');
  size_t size = 0;
  std::string text() const { return std::string(area.data(), size); }
};

Dump DumpOf(const std::vector<uint8_t>& bytes) {
  Dump d;
  d.size = FormatHexDump(bytes, d.area.data(), d.area.size());
  return d;
}

std::vector<uint8_t> Pattern(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 7 + 3);
  return v;
}

TEST(FormatHexDumpTest, HeaderIsEightyColumnsAndEndsTheTextWhenEmpty) {
  ASSERT_EQ(kHeader.size(), 80u);
  const Dump d = DumpOf({});
  EXPECT_EQ(d.text(), kHeader);
  EXPECT_EQ(d.area[80], '\0');
}

TEST(FormatHexDumpTest, OneRowOfSixteenBytes) {
  std::vector<uint8_t> bytes = {'H', 'e', 'l', 'l', 'o', 0x20, 0x7E, 0x7F, 0x80, 0xFF, 0x00, 0x1F, 'A', 'B', 'C', 'D'};
  const Dump d = DumpOf(bytes);
  EXPECT_EQ(d.text(), kHeader +
                          "00000000 48 65 6C 6C 6F 20 7E 7F 80 FF 00 1F 41 42 43 44    Hello ~.....ABCD  \r\n");
}

TEST(FormatHexDumpTest, LineCountsAndOffsetsFollowTheRowRule) {
  struct Case {
    size_t length;
    size_t dataLines;
    const char* lastOffset;
  } cases[] = {
      {128, 8, "00000070"},
      {512, 32, "000001F0"},
      {1616, 101, "00000640"},
      {0x4200, 1056, "000041F0"},   // 1,056 rows of 16: the last starts at 0x41F0
      {65536, 4096, "0000FFF0"},
      {70000, 4096, "0000FFF0"},    // clamped to 65,536 bytes
  };
  for (const Case& c : cases) {
    const std::vector<uint8_t> bytes = Pattern(c.length);
    const Dump d = DumpOf(bytes);
    ASSERT_EQ(d.size, (c.dataLines + 1) * 80) << c.length;
    const std::string text = d.text();
    EXPECT_EQ(text.substr(0, 80), kHeader);
    for (size_t r = 0; r < c.dataLines; ++r) {
      ASSERT_EQ(text.substr(80 * (r + 1), 80), ReferenceLine(bytes.data() + 16 * r, static_cast<unsigned>(16 * r)))
          << "length " << c.length << " row " << r;
    }
    EXPECT_EQ(text.substr(80 * c.dataLines, 8), c.lastOffset);
    EXPECT_EQ(d.area[d.size], '\0');
  }
}

TEST(FormatHexDumpTest, CharacterColumnShowsOnly0x20To0x7E) {
  std::vector<uint8_t> bytes(256);
  for (int i = 0; i < 256; ++i) bytes[i] = static_cast<uint8_t>(i);
  const std::string text = DumpOf(bytes).text();
  for (int b = 0; b < 256; ++b) {
    const char shown = text[80 * (1 + b / 16) + 60 + b % 16];
    EXPECT_EQ(shown, (b >= 0x20 && b <= 0x7E) ? static_cast<char>(b) : '.') << b;
  }
}

TEST(FormatHexDumpTest, PartialLastRowShowsBlanksAndReadsNothingBeyond) {
  // The bytes live at the very end of a heap block: a read past them would
  // be caught by the address sanitizer.
  std::vector<uint8_t> bytes = {0x41, 0x00, 0xFF};
  const Dump d = DumpOf(bytes);
  const std::string expected = kHeader + "00000000 41 00 FF " + std::string(39, ' ') + "   A.." +
                               std::string(13, ' ') + "  \r\n";
  EXPECT_EQ(d.text(), expected);
}

TEST(FormatHexDumpTest, ClearsTheRestOfTheAreaAndKeepsWithinIt) {
  const std::vector<uint8_t> bytes = Pattern(32);
  std::vector<char> area(400, 'Q');
  const size_t n = FormatHexDump(bytes, area.data(), area.size());
  EXPECT_EQ(n, 240u);
  for (size_t i = n; i < area.size(); ++i) ASSERT_EQ(area[i], '\0') << i;

  // Room for the header and one data line only: whole lines that fit.
  std::vector<char> small(200, 'Q');
  EXPECT_EQ(FormatHexDump(bytes, small.data(), small.size()), 160u);
  EXPECT_EQ(small[160], '\0');
  std::vector<char> tiny(50, 'Q');
  EXPECT_EQ(FormatHexDump(bytes, tiny.data(), tiny.size()), 0u);
  EXPECT_EQ(tiny[0], '\0');
}

TEST(FormatHexDumpTest, FullDumpFillsTheSharedTextAreaExactly) {
  const std::vector<uint8_t> bytes = Pattern(65536);
  std::vector<char> area(kHexDumpMaxTextSize);
  ASSERT_EQ(kHexDumpMaxTextSize, 327761u);
  EXPECT_EQ(FormatHexDump(bytes, area.data(), area.size()), kHexDumpMaxTextSize - 1);
  EXPECT_EQ(area.back(), '\0');
}

}  // namespace
}  // namespace dozered
