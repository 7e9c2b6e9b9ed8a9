// The saved text layouts, byte for byte, from small fixtures.
#include "reports/report_layouts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace dozered {
namespace {

// `text` padded with spaces on the right to `width` characters.
std::string Pad(const std::string& text, size_t width) {
  return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

TEST(IdentifyLayoutTest, RowsWithAndWithoutItem) {
  const Rows rows = {{"Word 10-19 Serial number", "SIM0000001"}, {"", "(continued)"}};
  const std::string expected = Pad("Word 10-19 Serial number", 70) + "  " + Pad("SIM0000001", 80) + "\r\n" +
                               "        " + Pad("(continued)", 80) + "\r\n";
  EXPECT_EQ(IdentifyLayout(rows), expected);
}

TEST(IdentifyLayoutTest, LongTextsAreNotCut) {
  const std::string item(75, 'i');
  const std::string description(85, 'd');
  EXPECT_EQ(IdentifyLayout({{item, description}}), item + "  " + description + "\r\n");
  EXPECT_EQ(IdentifyLayout({}), "");
}

TEST(SmartLayoutTest, HeaderAndRows) {
  const Rows rows = {{"09 Power-on hours", "100", "99", "0x000000000123"}, {"C2 Temperature"}};
  const std::string expected =
      "ID " + Pad("Item", 50) + "  " + Pad("Current", 10) + "  " + Pad("Worst", 10) + "  " + Pad("Raw data", 10) +
      "\r\n" + Pad("09 Power-on hours", 53) + "  " + Pad("100", 10) + "  " + Pad("99", 10) + "  " +
      Pad("0x000000000123", 18) + "\r\n" + Pad("C2 Temperature", 53) + "  " + Pad("", 10) + "  " + Pad("", 10) +
      "  " + Pad("", 18) + "\r\n";
  EXPECT_EQ(SmartLayout(rows), expected);
}

TEST(CaptionLayoutTest, OneLinePerCaptionNoHeader) {
  EXPECT_EQ(CaptionLayout({{"Card Mode: 2"}, {""}, {"Blocks: 1024", "ignored"}}),
            "Card Mode: 2\r\n\r\nBlocks: 1024\r\n");
}

TEST(MarkBadLayoutTest, CountLineHeaderAndRows) {
  const Rows rows = {{"0x0123", "0x0004", "Program fail", "1", "2", "0", "17"},
                     {"0x0456", "0x0000", "Erase fail", "0", "3", "N/A", "5"}};
  std::string expected = "Total MarkBad Count:2    \r\n";
  expected += "Block        Page        Fail Reason       CE      Channel    Plane      Erase Count\r\n";
  for (const Row& r : rows) {
    expected += Pad(r[0], 12) + " " + Pad(r[1], 11) + " " + Pad(r[2], 17) + " " + Pad(r[3], 7) + " " +
                Pad(r[4], 10) + " " + Pad(r[5], 10) + " " + Pad(r[6], 17) + "\r\n";
  }
  EXPECT_EQ(MarkBadLayout(rows), expected);
  EXPECT_EQ(MarkBadLayout({}),
            "Total MarkBad Count:0    \r\n"
            "Block        Page        Fail Reason       CE      Channel    Plane      Erase Count\r\n");
}

TEST(BadBlockMapLayoutTest, HeaderSpacingAndCells) {
  BadBlockMapCells cells;
  for (size_t c = 1; c < kBadBlockMapSize; ++c) cells[0][c] = "CH" + std::to_string(c - 1);
  for (size_t r = 1; r < kBadBlockMapSize; ++r) {
    cells[r][0] = "CE" + std::to_string(r - 1);
    for (size_t c = 1; c < kBadBlockMapSize; ++c) cells[r][c] = c <= 4 ? std::to_string(r * 10 + c) : "0";
  }
  cells[3][2] = "123456789";  // wider than the column: written whole
  std::string expected = "      CH0     CH1     CH2     CH3     CH4     CH5     CH6     CH7\r\n";
  for (size_t r = 1; r < kBadBlockMapSize; ++r) {
    expected += "CE" + std::to_string(r - 1) + "    ";
    for (size_t c = 1; c < kBadBlockMapSize; ++c) expected += Pad(cells[r][c], 7) + (c < 8 ? " " : "");
    expected += "\r\n";
  }
  EXPECT_EQ(BadBlockMapLayout(cells), expected);
  EXPECT_NE(expected.find("CE2    31      123456789 33      "), std::string::npos);
}

TEST(BadBlockListLayoutTest, PlaneColumnIsNotWritten) {
  const Rows rows = {{"1", "0x0010", "0", "1", "0"}, {"2", "*0x0200", "3", "7", "1"}};
  const std::string expected = "NO      FBlock        CE     CH\r\n" + Pad("1", 7) + " " + Pad("0x0010", 14) + " " +
                               Pad("0", 6) + " " + Pad("1", 7) + "\r\n" + Pad("2", 7) + " " + Pad("*0x0200", 14) +
                               " " + Pad("3", 6) + " " + Pad("7", 7) + "\r\n";
  EXPECT_EQ(BadBlockListLayout(rows), expected);
}

TEST(MemoLayoutTest, EachLineEndsInCrLf) {
  struct Case {
    std::string memo;
    std::string file;
  };
  const std::vector<Case> cases = {
      {"", ""},
      {"one", "one\r\n"},
      {"one\ntwo", "one\r\ntwo\r\n"},
      {"one\r\ntwo\r\n", "one\r\ntwo\r\n"},
      {"one\n\nthree", "one\r\n\r\nthree\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(MemoLayout(c.memo), c.file) << c.memo;
}

// An erase-count table: `counts` from block 0 on, the end value at byte 16,384.
std::vector<uint8_t> Table(const std::vector<uint16_t>& counts, int16_t end) {
  std::vector<uint8_t> table(16896, 0);
  for (size_t i = 0; i < counts.size(); ++i) {
    table[2 * i] = static_cast<uint8_t>(counts[i]);
    table[2 * i + 1] = static_cast<uint8_t>(counts[i] >> 8);
  }
  table[16384] = static_cast<uint8_t>(end);
  table[16385] = static_cast<uint8_t>(static_cast<uint16_t>(end) >> 8);
  return table;
}

constexpr char kHead[] = "Host Write Sector Count(Since Power On) \r\n";
constexpr char kSeparator[] = "-----------------------------------------------------\r\n";

TEST(EraseCountExportLayoutTest, Cases) {
  struct Case {
    const char* name;
    std::vector<uint16_t> counts;
    int16_t end;
    int16_t start;
    uint32_t badBlocks;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"all equal: every line is the minimum",
       {5, 5, 5}, 3, 0, 3,
       std::string(kHead) +
           "FBlock= 0000(0x0000)    Erase Count= 0005 -- Min Erase Cnt\r\n"
           "FBlock= 0001(0x0001)    Erase Count= 0005 -- Min Erase Cnt\r\n"
           "FBlock= 0002(0x0002)    Erase Count= 0005 -- Min Erase Cnt\r\n" +
           kSeparator + "Total Erase Count= 0xF(15)\r\nBad Block Count= 0x3(3)\r\n"},
      {"bad block adds nothing",
       {3, 0xFFFF, 7, 4}, 4, 0, 0,
       std::string(kHead) +
           "FBlock= 0000(0x0000)    Erase Count= 0003 -- Min Erase Cnt\r\n"
           "FBlock= 0001(0x0001)    Erase Count= 0000 -- Bad Block\r\n"
           "FBlock= 0002(0x0002)    Erase Count= 0007 -- Max Erase Cnt\r\n"
           "FBlock= 0003(0x0003)    Erase Count= 0004\r\n" +
           kSeparator + "Total Erase Count= 0xE(14)\r\nBad Block Count= 0x0(0)\r\n"},
      {"bit 15 removed",
       {0x8004, 9}, 2, 0, 0,
       std::string(kHead) +
           "FBlock= 0000(0x0000)    Erase Count= 0004 -- Min Erase Cnt\r\n"
           "FBlock= 0001(0x0001)    Erase Count= 0009 -- Max Erase Cnt\r\n" +
           kSeparator + "Total Erase Count= 0xD(13)\r\nBad Block Count= 0x0(0)\r\n"},
      {"end at the first block: totals only",
       {1, 2, 3, 4, 5, 6}, 5, 5, 0x1234,
       std::string(kHead) + kSeparator + "Total Erase Count= 0x0(0)\r\nBad Block Count= 0x1234(4660)\r\n"},
      {"end below the first block",
       {1, 2, 3}, -2, 1, 0,
       std::string(kHead) + kSeparator + "Total Erase Count= 0x0(0)\r\nBad Block Count= 0x0(0)\r\n"},
      {"five digits and a range inside the table",
       {1, 1, 12345, 10000, 2}, 4, 2, 1,
       std::string(kHead) +
           "FBlock= 0002(0x0002)    Erase Count= 12345 -- Max Erase Cnt\r\n"
           "FBlock= 0003(0x0003)    Erase Count= 10000 -- Min Erase Cnt\r\n" +
           kSeparator + "Total Erase Count= 0x5749(22345)\r\nBad Block Count= 0x1(1)\r\n"},
      {"negative first block counts from 0",
       {2, 8}, 2, -3, 0,
       std::string(kHead) +
           "FBlock= 0000(0x0000)    Erase Count= 0002 -- Min Erase Cnt\r\n"
           "FBlock= 0001(0x0001)    Erase Count= 0008 -- Max Erase Cnt\r\n" +
           kSeparator + "Total Erase Count= 0xA(10)\r\nBad Block Count= 0x0(0)\r\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EraseCountExportLayout(Table(c.counts, c.end), c.start, c.badBlocks), c.expected) << c.name;
  }
}

TEST(EraseCountExportLayoutTest, EndAbove8192CountsAs8192) {
  std::vector<uint16_t> counts(8192, 1);
  const std::string text = EraseCountExportLayout(Table(counts, 9000), 0, 0);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1 + 8192 + 3);
  EXPECT_NE(text.find("FBlock= 8191(0x1FFF)    Erase Count= 0001 -- Min Erase Cnt\r\n" + std::string(kSeparator)),
            std::string::npos);
  EXPECT_NE(text.find("Total Erase Count= 0x2000(8192)\r\n"), std::string::npos);
  EXPECT_EQ(EraseCountBlockRange(Table({}, 9000), 0).End, 8192);
}

}  // namespace
}  // namespace dozered
