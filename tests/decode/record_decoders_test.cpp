#include "decode/record_decoders.h"

#include <gtest/gtest.h>

#include <vector>


namespace dozered {
namespace {

void Put16(std::vector<uint8_t>& v, size_t at, unsigned value) {
  v[at] = static_cast<uint8_t>(value);
  v[at + 1] = static_cast<uint8_t>(value >> 8);
}

TEST(DecodeErrorLogTest, SixCountersInTableOrder) {
  std::vector<uint8_t> log(1024, 0);
  log[0] = 0x00;
  log[1] = 0x01;
  Put16(log, 6, 0xBEEF);
  log[16] = 0x01;
  log[20] = 0x78;
  log[21] = 0x56;
  log[22] = 0x34;
  log[23] = 0x12;
  EXPECT_EQ(DecodeErrorLog(log), (Rows{{"Read Error Count", "0x0100"},
                                       {"AbnorRead Error Count", "0x0000"},
                                       {"Write Error Count", "0x0000"},
                                       {"AbnorWrite Error Count", "0xBEEF"},
                                       {"Vdt27 Fail Count", "0x00000001"},
                                       {"Vdt40 Fail Count", "0x12345678"}}));
}

// A card information record with the two fields the mark-bad list reads.
std::vector<uint8_t> Card(unsigned blocksPerCe, uint8_t ways) {
  std::vector<uint8_t> c(kCardInfoSize, 0);
  Put16(c, card_info_offset::kBlocksPerCe, blocksPerCe);
  c[card_info_offset::kInterleaveWays] = ways;
  return c;
}

MarkBadResult MarkBad(const std::vector<uint8_t>& record, unsigned blocksPerCe, uint8_t ways) {
  const std::vector<uint8_t> card = Card(blocksPerCe, ways);
  return DecodeMarkBad(CardInfo(card), record);
}

struct Entry {
  unsigned block, word;
  int erase;
  uint8_t planeChannel, reason;
};

std::vector<uint8_t> MarkBadRecord(int count, const std::vector<Entry>& entries) {
  std::vector<uint8_t> r(kMarkBadRecordSize, 0);
  Put16(r, 0, static_cast<unsigned>(count) & 0xFFFF);
  for (size_t k = 0; k < entries.size(); ++k) {
    const size_t at = 8 + 8 * k;
    Put16(r, at, entries[k].block);
    Put16(r, at + 2, entries[k].word);
    Put16(r, at + 4, static_cast<unsigned>(entries[k].erase) & 0xFFFF);
    r[at + 6] = entries[k].planeChannel;
    r[at + 7] = entries[k].reason;
  }
  return r;
}

TEST(DecodeMarkBadTest, EraseFailRowsPerMaskBitAndOtherEntriesOneRow) {
  const auto record = MarkBadRecord(
      5, {{0x0C00, 0x0021, 3, 0, 0x80},      // channel 0 CE offset 0, channel 1 CE offset 1
          {0x0010, 0x2345, -1, 0x31, 0x7F},  // page 0x345, CE offset 2, channel 3, plane 1
          {0x0011, 0x0001, 7, 0x02, 0xFF},
          {0x0012, 0xF001, 0, 0x10, 0x01},
          {0x0013, 0x0000, 0, 0, 0x80}});    // empty mask: no row
  const MarkBadResult result = MarkBad(record, 1024, 2);
  EXPECT_EQ(result.rows,
            (Rows{{"0x0C00", "N/A", "Erase Fail", "6", "0", "N/A", "3(0x0003)"},
                  {"", "N/A", "Erase Fail", "7", "1", "N/A", "3(0x0003)"},
                  {"0x0010", "0x0345", "Early Retire", "2", "3", "1", "-1(0xFFFFFFFF)"},
                  {"0x0011", "0x0001", "Program Fail", "0", "0", "2", "7(0x0007)"},
                  {"0x0012", "0x0001", "Read ECC Fail", "15", "1", "0", "0(0x0000)"}}));
  EXPECT_EQ(result.TotalCount, "5");
}

TEST(DecodeMarkBadTest, CountsEntriesNotRows) {
  const auto record = MarkBadRecord(3, {{1, 0x00FF, 0, 0, 0x80}, {2, 0, 0, 0, 0xFF}, {3, 0x8000, 0, 0, 0x80}});
  const MarkBadResult result = MarkBad(record, 1024, 2);
  EXPECT_EQ(result.rows.size(), 10u);
  EXPECT_EQ(result.TotalCount, "3");
}

TEST(DecodeMarkBadTest, CeBaseWrapsAt256AndIsZeroWithoutBlocksPerCe) {
  const auto record = MarkBadRecord(1, {{0xFFFF, 0x3000, 0, 0, 0x01}});
  EXPECT_EQ(MarkBad(record, 1, 4).rows[0][3], std::to_string((0xFFFF * 4 + 3) % 256));
  EXPECT_EQ(MarkBad(record, 0, 4).rows[0][3], "3");
}

TEST(DecodeMarkBadTest, EntryCountsOutsideTheRecord) {
  std::vector<Entry> full(1023, Entry{5, 0, 0, 0, 0x01});
  struct Case {
    int count;
    size_t rows;
    const char* text;
  } cases[] = {{0, 0, "0"}, {-3, 0, "-3"}, {1023, 1023, "1023"}, {30000, 1023, "30000"}};
  for (const Case& c : cases) {
    const MarkBadResult result = MarkBad(MarkBadRecord(c.count, full), 1024, 1);
    EXPECT_EQ(result.rows.size(), c.rows) << c.count;
    EXPECT_EQ(result.TotalCount, c.text);
  }
  const std::vector<uint8_t> tiny = {0x05, 0x00, 0, 0};
  EXPECT_TRUE(MarkBad(tiny, 1024, 1).rows.empty());
}

std::vector<uint8_t> EraseTable(int count) {
  std::vector<uint8_t> t(kEraseCountTableSize, 0);
  for (unsigned b = 0; b < 8192; ++b) Put16(t, 2 * b, b & 0x7FFF);
  Put16(t, 16384, static_cast<unsigned>(count) & 0xFFFF);
  return t;
}

TEST(DecodeEraseCountTableTest, EntryTextsAndRange) {
  auto table = EraseTable(4);
  Put16(table, 2, 0x8005);
  Put16(table, 4, 0xFFFF);
  Put16(table, 6, 0x7FFF);
  EXPECT_EQ(DecodeEraseCountTable(table, 1),
            (Rows{{"0x0001", "0x0005"}, {"0x0002", "Bad Block"}, {"0x0003", "0x7FFF"}}));
}

TEST(DecodeEraseCountTableTest, RangeLimits) {
  struct Case {
    int count;
    int16_t start;
    size_t rows;
    const char* first;
    const char* last;
  } cases[] = {
      {9000, 0, 8192, "0x0000", "0x1FFF"},
      {8192, 8192, 0, nullptr, nullptr},
      {100, 100, 0, nullptr, nullptr},
      {100, 150, 0, nullptr, nullptr},
      {-5, 0, 0, nullptr, nullptr},
      {3, -20, 3, "0x0000", "0x0002"},
      {0x7FFF, 8000, 192, "0x1F40", "0x1FFF"},
  };
  for (const Case& c : cases) {
    const Rows rows = DecodeEraseCountTable(EraseTable(c.count), c.start);
    ASSERT_EQ(rows.size(), c.rows) << c.count << " from " << c.start;
    if (c.rows == 0) continue;
    EXPECT_EQ(rows.front()[0], c.first);
    EXPECT_EQ(rows.back()[0], c.last);
  }
  // A table cut short lists only the entries it holds.
  const std::vector<uint8_t> shortTable(100, 0);
  EXPECT_TRUE(DecodeEraseCountTable(shortTable, 0).empty());
}

TEST(DecodeCidTest, LayoutDescribesTheBlockAndNoLayoutGivesNoRows) {
  std::vector<uint8_t> cid(kCidBlockSize, 0);
  cid[4] = 0x2C;
  const IniFile layout = IniFile::FromText(
      "[Setting]\nUnitSize=1\nTotalUnitNum=1\n[Item_0]\nItemUnitOffset=4\nItemUnitNum=1\nItemDesc=Maker\n");
  EXPECT_EQ(DecodeCid(cid, &layout), (Rows{{"Maker : 0x2C"}}));
  EXPECT_TRUE(DecodeCid(cid, static_cast<const IniFile*>(nullptr)).empty());
}

}  // namespace
}  // namespace dozered
