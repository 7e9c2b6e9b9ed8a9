#include "decode/ini_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace dozered {
namespace {

Rows Decode(const std::vector<uint8_t>& record, const std::string& layout, TableTarget target,
            std::vector<std::string>* skipped = nullptr) {
  return DecodeIniTable(record, IniFile::FromText(layout), target, skipped);
}

std::vector<uint8_t> Record(std::initializer_list<uint8_t> head, size_t size = 128) {
  std::vector<uint8_t> r(size, 0);
  std::copy(head.begin(), head.end(), r.begin());
  return r;
}

TEST(DecodeIniTableTest, NothingWithoutUnitSizeOrCount) {
  const auto rec = Record({1});
  const std::string item = "[Item_0]\nItemUnitNum=1\nItemDesc=A\n";
  EXPECT_TRUE(Decode(rec, "[Setting]\nTotalUnitNum=1\n" + item, TableTarget::CidOption).empty());
  EXPECT_TRUE(Decode(rec, "[Setting]\nUnitSize=1\n" + item, TableTarget::CidOption).empty());
  EXPECT_TRUE(Decode(rec, "[Setting]\nUnitSize=0x1\nTotalUnitNum=1\n" + item, TableTarget::CidOption).empty());
  EXPECT_EQ(Decode(rec, "[Setting]\nUnitSize=1\nTotalUnitNum=1\n" + item, TableTarget::CidOption).size(), 1u);
}

TEST(DecodeIniTableTest, SkipsMissingSectionsAndItemsOfNoLength) {
  const auto rec = Record({0x01, 0x02, 0x03});
  const std::string layout =
      "[setting]\nunitsize=1\ntotalunitnum=4\n"
      "[Item_0]\nItemUnitOffset=0\nItemUnitNum=1\nItemDesc=First\n"
      "[Item_1]\n"
      "[Item_2]\nItemUnitOffset=2\nItemUnitNum=1\nItemDesc=Third\n"
      "[Item_3]\nItemUnitOffset=1\nItemUnitNum=0\nItemDesc=Zero\nItemBitEnable=1\n"
      "BitItemNum=8\nBitItemMethod=2\nBitItem0=Bits\n"
      "[Item_4]\nItemUnitNum=1\nItemDesc=Beyond count\n";
  const Rows rows = Decode(rec, layout, TableTarget::CidOption);
  EXPECT_EQ(rows, (Rows{{"First : 0x01"}, {"Third : 0x03"}}));
}

TEST(DecodeIniTableTest, ByteOrderAndValueTextsBySize) {
  struct Case {
    const char* name;
    std::vector<uint8_t> stored;
    int unitSize, units;
    bool big, text;
    std::string identify;  // Description on the Identify page
    std::string cid;       // the CID row
  } cases[] = {
      {"u8", {0x08}, 1, 1, false, false, "0x08", "N : 0x08"},
      {"u16", {0x08, 0x07}, 2, 1, false, false, "0x0708", "N : 0x0708"},
      {"u32", {8, 7, 6, 5}, 2, 2, false, false, "0x05060708", "N : 0x05060708"},
      {"u48", {6, 5, 4, 3, 2, 1}, 2, 3, false, false, "0x010203040506", "0x010203040506"},
      {"u64", {8, 7, 6, 5, 4, 3, 2, 1}, 1, 8, false, false, "0x0102030405060708", "0x0102030405060708"},
      {"u24", {1, 2, 3}, 1, 3, false, false, "", ""},
      {"u128", {1}, 2, 8, false, false, "", ""},
      {"be unit 2 number", {0x11, 0x22, 0x33, 0x44}, 2, 2, true, false, "0x11223344", "N : 0x11223344"},
      {"be unit 2 text", {0x42, 0x41, 0x44, 0x43}, 2, 2, true, true, "ABCD", "N : ABCD"},
      {"be unit 1 number", {0x11, 0x22}, 1, 2, true, false, "0x1122", "N : 0x1122"},
      {"be unit 1 text", {'a', 'b', 'c'}, 1, 3, true, true, "cba", "N : cba"},
      {"be unit 4 number", {1, 2, 3, 4}, 4, 1, true, false, "0x04030201", "N : 0x04030201"},
      {"le text", {'H', 'i', 0, 'x'}, 2, 2, false, true, "Hi", "N : Hi"},
      {"text with tab", {'a', '\t', 'b', 0}, 2, 2, false, true, "a\tb", "N : a"},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> rec(64, 0);
    std::copy(c.stored.begin(), c.stored.end(), rec.begin() + 8 * c.unitSize);
    const std::string layout = "[Setting]\nUnitSize=" + std::to_string(c.unitSize) +
                               "\nTotalUnitNum=1\n[Item_0]\nItemUnitOffset=8\nItemUnitNum=" +
                               std::to_string(c.units) + "\nItemBigEndian=" + (c.big ? "1" : "0") +
                               "\nItemStringMode=" + (c.text ? "1" : "0") + "\nItemDesc=N\n";
    EXPECT_EQ(Decode(rec, layout, TableTarget::IdentifyTable), (Rows{{"N", c.identify}})) << c.name;
    EXPECT_EQ(Decode(rec, layout, TableTarget::CidOption), (Rows{{c.cid}})) << c.name;
  }
}

const char* const kBitLayout =
    "[Setting]\nUnitSize=1\nTotalUnitNum=1\n"
    "[Item_0]\nItemUnitOffset=0\nItemUnitNum=1\nItemDesc=%s\nItemBitEnable=1\n"
    "BitItemNum=2,6\nBitItemMethod=1,2\n"
    "BitItem0_0=Off\nBitItem0_1=Low\nBitItem0_3=High\nBitItem1=Mode\n";

std::string BitLayout(const std::string& desc) {
  std::string s = kBitLayout;
  s.replace(s.find("%s"), 2, desc);
  return s;
}

TEST(DecodeIniTableTest, BitFieldsByMethod) {
  struct Case {
    uint8_t value;
    Rows cid;
  } cases[] = {
      {0x7F, {{"Flags : 0x7F"}, {"High"}, {"Mode: 0x1F"}}},
      {0x05, {{"Flags : 0x05"}, {"Low"}, {"Mode: 0x1"}}},
      {0x02, {{"Flags : 0x02"}, {"Mode: 0x0"}}},  // no BitItem0_2: no line
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Decode({c.value}, BitLayout("Flags"), TableTarget::CidOption), c.cid) << int(c.value);
  }
  EXPECT_EQ(Decode({0x7F}, BitLayout("Flags"), TableTarget::IdentifyTable),
            (Rows{{"Flags", "0x7F"}, {"", "High"}, {"", "Mode: 0x1F"}}));
}

TEST(DecodeIniTableTest, ItemDescOfZeroShowsOnlyTheBitFields) {
  EXPECT_EQ(Decode({0x7F}, BitLayout("0"), TableTarget::CidOption), (Rows{{"High"}, {"Mode: 0x1F"}}));
  const std::string noDesc = "[Setting]\nUnitSize=1\nTotalUnitNum=1\n[Item_0]\nItemUnitNum=1\nItemBitEnable=1\n"
                             "BitItemNum=8\nBitItemMethod=2\nBitItem0=All\n";
  EXPECT_EQ(Decode({0xA5}, noDesc, TableTarget::IdentifyTable), (Rows{{"", "All: 0xA5"}}));
}

TEST(DecodeIniTableTest, BitFieldListsAndTheLoopEnd) {
  struct Case {
    const char* name;
    const char* widths;
    const char* methods;
    Rows rows;
  } cases[] = {
      // Widths reaching the item's 8 bits end the loop: BitItem1 never shows.
      {"width to the end", "8,4", "2,2", {{"A: 0xB4"}}},
      {"widths beyond the item", "6,4,4", "0,2,2", {{"B: 0x2"}}},
      {"gap method", "4,4", "0,2", {{"B: 0xB"}}},
      {"list of zero", "0", "2,2", {}},
      {"methods of zero", "4,4", "0", {}},
      {"fewer widths than methods", "4", "2,2,2", {{"A: 0x4"}, {"B: 0x0"}}},
      {"unknown method", "4,4", "3,2", {{"B: 0xB"}}},
  };
  for (const Case& c : cases) {
    const std::string layout = std::string("[Setting]\nUnitSize=1\nTotalUnitNum=1\n[Item_0]\nItemUnitNum=1\n") +
                               "ItemBitEnable=1\nBitItemNum=" + c.widths + "\nBitItemMethod=" + c.methods +
                               "\nBitItem0=A\nBitItem1=B\nBitItem2=C\n";
    EXPECT_EQ(Decode({0xB4}, layout, TableTarget::CidOption), c.rows) << c.name;
  }
}

TEST(DecodeIniTableTest, ItemBitEnableNeedsADigitFirst) {
  std::string layout = BitLayout("0");
  layout.replace(layout.find("ItemBitEnable=1"), 15, "ItemBitEnable=\" 1\"");
  EXPECT_TRUE(Decode({0x7F}, layout, TableTarget::CidOption).empty());
}

TEST(DecodeIniTableTest, ItemsThatDoNotFitAreSkippedAndTheRestDecoded) {
  const std::vector<uint8_t> rec(128, 0x41);
  const std::string layout =
      "[Setting]\nUnitSize=2\nTotalUnitNum=7\n"
      "[Item_0]\nItemUnitOffset=63\nItemUnitNum=2\nItemDesc=Beyond\n"           // bytes 126..129
      "[Item_1]\nItemUnitOffset=99999\nItemUnitNum=99\nItemDesc=Far\n"
      "[Item_2]\nItemUnitOffset=0\nItemUnitNum=65\nItemDesc=Long\n"             // 130 bytes
      "[Item_3]\nItemUnitOffset=0\nItemUnitNum=64\nItemStringMode=1\nItemDesc=NoNul\n"
      "[Item_4]\nItemUnitOffset=0\nItemUnitNum=64\nItemDesc=Wide\n"             // 128-byte number
      "[Item_5]\nItemUnitOffset=1\nItemUnitNum=63\nItemStringMode=1\nItemDesc=Text\n"
      "[Item_6]\nItemUnitOffset=63\nItemUnitNum=1\nItemDesc=Last\n";
  std::vector<std::string> skipped;
  const Rows rows = Decode(rec, layout, TableTarget::IdentifyTable, &skipped);
  EXPECT_EQ(rows, (Rows{{"Wide", ""}, {"Text", std::string(126, 'A')}, {"Last", "0x4141"}}));
  EXPECT_EQ(skipped.size(), 4u);
}

TEST(DecodeIniTableTest, LongNamesAndLinesAreCutTo127Characters) {
  const std::string longName(300, 'n');
  const std::string layout = "[Setting]\nUnitSize=1\nTotalUnitNum=2\n[Item_0]\nItemUnitNum=4\nItemDesc=" +
                             longName + "\nItemBitEnable=1\nBitItemNum=8\nBitItemMethod=2\nBitItem0=" + longName +
                             "\n[Item_1]\nItemUnitNum=4\nItemStringMode=1\nItemDesc=" + std::string(125, 'x') + "\n";
  const Rows cid = Decode({'a', 'b', 'c', 0}, layout, TableTarget::CidOption);
  EXPECT_EQ(cid, (Rows{{std::string(127, 'n')}, {std::string(127, 'n')}, {std::string(125, 'x') + " :"}}));
  const Rows identify = Decode({'a', 'b', 'c', 0}, layout, TableTarget::IdentifyTable);
  EXPECT_EQ(identify[0], (Row{std::string(127, 'n'), "0x00636261"}));
}

}  // namespace
}  // namespace dozered
