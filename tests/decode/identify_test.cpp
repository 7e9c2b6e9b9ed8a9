#include "decode/identify.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>


namespace dozered {
namespace {

using Block = std::array<uint8_t, 512>;

void SetWord(Block& b, int w, unsigned v) {
  b[2 * w] = static_cast<uint8_t>(v);
  b[2 * w + 1] = static_cast<uint8_t>(v >> 8);
}

// Stores `text` as an ATA string: the second character of each pair first.
void SetAtaText(Block& b, int firstWord, const std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) b[2 * firstWord + (i ^ 1)] = static_cast<uint8_t>(text[i]);
}

Rows Decode(const Block& b) { return DecodeIdentify(b, static_cast<const IniFile*>(nullptr)); }

// Rows from the one titled `title` up to (not including) the next titled row.
Rows Group(const Rows& rows, const std::string& title) {
  auto it = std::find_if(rows.begin(), rows.end(), [&](const Row& r) { return r[0] == title; });
  if (it == rows.end()) return {};
  auto end = std::find_if(it + 1, rows.end(), [](const Row& r) { return !r[0].empty(); });
  return Rows(it, end);
}

bool HasTitle(const Rows& rows, const std::string& prefix) {
  return std::any_of(rows.begin(), rows.end(), [&](const Row& r) { return r[0].rfind(prefix, 0) == 0; });
}

TEST(DecodeIdentifyTest, ZeroBlockGivesEveryWordLineAndOnlyTheUnconditionalBitLines) {
  const Rows rows = Decode(Block{});
  Rows bitLines;
  for (const Row& r : rows) {
    ASSERT_EQ(r.size(), 2u);
    if (r[0].empty()) bitLines.push_back(r);
  }
  EXPECT_EQ(bitLines, (Rows{{"", "Current Sector Number of Multiple R/W:0x00"},
                            {"", "Security unsupported"},
                            {"", "Transport Type:Parallel"}}));
  EXPECT_EQ(rows.size(), 43u - 5u + 3u);  // 43 word lines less the five of words 64-68
  EXPECT_FALSE(HasTitle(rows, "WORD 64"));
  EXPECT_EQ(rows.front(), (Row{"WORD 0: Configuration", "0x0000"}));
  EXPECT_EQ(rows[1], (Row{"WORD 1: Default Cylinder", "0x0000(0)"}));
  EXPECT_EQ(rows.back(), (Row{"", "Transport Type:Parallel"}));
}

TEST(DecodeIdentifyTest, TextFieldsReadInOrder) {
  Block b{};
  SetAtaText(b, 10, "SN12345678");
  SetAtaText(b, 23, "FW01");
  SetAtaText(b, 27, std::string(40, 'M'));
  SetWord(b, 47, 0x8010);
  const Rows rows = Decode(b);
  EXPECT_EQ(Group(rows, "WORD 10-19: Serial Number")[0][1], "SN12345678");
  EXPECT_EQ(Group(rows, "WORD 23-26: Firmware Revision")[0][1], "FW01");
  EXPECT_EQ(Group(rows, "WORD 27-46: Model Number")[0][1], std::string(40, 'M'));  // no NUL: all 40
  EXPECT_EQ(Group(rows, "WORD 47: Multiple Sector Count")[0][1], "0x8010");
}

TEST(DecodeIdentifyTest, Word53DecidesTheWords64To68) {
  Block b{};
  SetWord(b, 53, 0x0001);
  Rows rows = Decode(b);
  EXPECT_EQ(Group(rows, "WORD 53: Translation Parameter Valid"),
            (Rows{{"WORD 53: Translation Parameter Valid", "0x0001"}, {"", "Word 54-58 are valid"}}));
  EXPECT_FALSE(HasTitle(rows, "WORD 64"));

  SetWord(b, 53, 0x0006);
  SetWord(b, 64, 0x0003);
  SetWord(b, 65, 120);
  SetWord(b, 68, 0x0078);
  rows = Decode(b);
  EXPECT_EQ(Group(rows, "WORD 53: Translation Parameter Valid"),
            (Rows{{"WORD 53: Translation Parameter Valid", "0x0006"},
                  {"", "Word 64-70 are valid"},
                  {"", "Word 88 are valid"}}));
  auto it = std::find_if(rows.begin(), rows.end(), [](const Row& r) { return r[0].rfind("WORD 64", 0) == 0; });
  ASSERT_NE(it, rows.end());
  EXPECT_EQ(Rows(it, it + 7),
            (Rows{{"WORD 64: Advanced PIO Transfer Mode Supported", "0x0003"},
                  {"", "PIO mode 3 supported"},
                  {"", "PIO mode 4 supported"},
                  {"WORD 65: Minimum Multiword DMA transfer cycle time", "0x0078(120nS)"},
                  {"WORD 66: Recommended Multiword DMA transfer cycle time", "0x0000(0nS)"},
                  {"WORD 67: Minimum PIO transfer cycle time without flow control", "0x0000(0nS)"},
                  {"WORD 68: Minimum PIO transfer cycle time with IORDY flow control", "0x0078(120nS)"}}));
  EXPECT_EQ((it + 7)->at(0), "WORD 76: Serial ATA Capabilities");
}

TEST(DecodeIdentifyTest, ValueFormatsOfSingleWords) {
  struct Case {
    int word;
    unsigned value;
    const char* title;
    const char* text;
  } cases[] = {
      {89, 0x000F, "WORD 89: Time required for SECURITY ERASE UNIT command", "0x000F(30min)"},
      {90, 0x0002, "WORD 90: Time required for Enhanced SECURITY ERASE UNIT command", "0x0002(04min)"},
      {91, 0x00FE, "WORD 91: Current Advanced Power Management level value", "0x00FE(508min)"},
      {3, 0xFFFF, "WORD 3: Default Head", "0xFFFF(65535)"},
      {160, 0xA123, "WORD 160: CFA power mode", "0xA123"},
  };
  for (const Case& c : cases) {
    Block b{};
    SetWord(b, c.word, c.value);
    EXPECT_EQ(Group(Decode(b), c.title)[0][1], c.text) << c.title;
  }
}

TEST(DecodeIdentifyTest, TwoAndFourWordValues) {
  Block b{};
  SetWord(b, 60, 0x5678);
  SetWord(b, 61, 0x1234);
  SetWord(b, 100, 0x1234);
  SetWord(b, 101, 0x0000);
  SetWord(b, 102, 0x0001);
  const Rows rows = Decode(b);
  EXPECT_EQ(Group(rows, "WORD 60-61: LBA Sector Addressable")[0][1], "0x12345678");
  EXPECT_EQ(Group(rows, "WORD 100-103: Total LBA for the 48-bit Address feature set")[0][1], "0x000100001234");
}

TEST(DecodeIdentifyTest, SecurityLinesOfWord128) {
  struct Case {
    unsigned value;
    std::vector<std::string> lines;
  } cases[] = {
      {0x0000, {"Security unsupported"}},
      {0x0121,
       {"Security supported", "Security disabled", "Security unlocked", "Security unfrozen",
        "Enhanced security erase supported", "Mater Password Capability:Maximum"}},
      {0x001F,
       {"Security supported", "Security enabled", "Security locked", "Security frozen", "Security count expired",
        "Mater Password Capability:High"}},
  };
  for (const Case& c : cases) {
    Block b{};
    SetWord(b, 128, c.value);
    const Rows group = Group(Decode(b), "WORD 128: Security status");
    std::vector<std::string> lines;
    for (size_t i = 1; i < group.size(); ++i) lines.push_back(group[i][1]);
    EXPECT_EQ(lines, c.lines) << c.value;
  }
}

TEST(DecodeIdentifyTest, TransportLinesOfWord222) {
  Block b{};
  SetWord(b, 222, 0x101F);
  EXPECT_EQ(Group(Decode(b), "WORD 222: Transport major version number"),
            (Rows{{"WORD 222: Transport major version number", "0x101F"},
                  {"", "ATA8-AST"},
                  {"", "SATA 1.0a"},
                  {"", "SATA II: Extensions"},
                  {"", "SATA Rev 2.5"},
                  {"", "SATA Rev 2.6"},
                  {"", "Transport Type:Serial"}}));
  SetWord(b, 222, 0x2000);
  EXPECT_EQ(Group(Decode(b), "WORD 222: Transport major version number"),
            (Rows{{"WORD 222: Transport major version number", "0x2000"}, {"", "Transport Type:Reserved"}}));
}

TEST(DecodeIdentifyTest, Word59AndWord88BitLines) {
  Block b{};
  SetWord(b, 59, 0x0110);
  SetWord(b, 88, 0x207F);
  const Rows rows = Decode(b);
  EXPECT_EQ(Group(rows, "WORD 59: Multiple Sector Sector Setting"),
            (Rows{{"WORD 59: Multiple Sector Sector Setting", "0x0110"},
                  {"", "Multiple Sector Setting is valid"},
                  {"", "Current Sector Number of Multiple R/W:0x10"}}));
  const Rows udma = Group(rows, "WORD 88: Ultra DMA modes supported and selected");
  ASSERT_EQ(udma.size(), 9u);
  EXPECT_EQ(udma[1][1], "Ultra DMA mode 0 is supported");
  EXPECT_EQ(udma[2][1], "Ultra DMA mode 1 and below are supported");
  EXPECT_EQ(udma[7][1], "Ultra DMA mode 6 and below are supported");
  EXPECT_EQ(udma[8][1], "Ultra DMA mode 5 is selected");
}

TEST(DecodeIdentifyTest, LayoutFileTakesOverCompletelyAndSeesTheSwappedCopy) {
  Block b{};
  SetAtaText(b, 10, "SERIAL");
  SetWord(b, 0, 0x0040);
  const Block original = b;
  const IniFile layout = IniFile::FromText(
      "[Setting]\nUnitSize=2\nTotalUnitNum=2\n"
      "[Item_0]\nItemUnitOffset=10\nItemUnitNum=10\nItemStringMode=1\nItemDesc=Serial\n"
      "[Item_1]\nItemUnitOffset=0\nItemUnitNum=1\nItemDesc=Config\n");
  EXPECT_EQ(DecodeIdentify(b, &layout), (Rows{{"Serial", "SERIAL"}, {"Config", "0x0040"}}));
  EXPECT_EQ(b, original);  // the caller's data is never swapped

  const IniFile empty = IniFile::FromText("");
  EXPECT_TRUE(DecodeIdentify(b, &empty).empty());
}

}  // namespace
}  // namespace dozered
