#include "decode/text_helpers.h"

#include <gtest/gtest.h>

namespace dozered {
namespace {

TEST(ParseDecimalTest, ReadsDigitsWithinTheCharacterLimit) {
  struct Case {
    const char* text;
    size_t limit;
    uint32_t expected;
  } cases[] = {
      {"16", 2, 16},  {"128", 2, 12},  {"0x10", 4, 0}, {" 1", 1, 0},  {" 1", 2, 1},
      {"  42", 4, 42}, {"4 2", 4, 4},  {"0 5", 3, 5},  {"", 4, 0},    {"abc", 4, 0},
      {"12a3", 4, 12}, {"99999", 5, 99999}, {"-3", 2, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseDecimal(c.text, c.limit), c.expected) << '"' << c.text << "\" limit " << c.limit;
  }
}

TEST(ParseHexTest, ReadsHexWithOptionalLeadingX) {
  struct Case {
    const char* text;
    size_t limit;
    uint32_t expected;
  } cases[] = {
      {"0x1F", 4, 0x1F}, {"0x123", 4, 0x12}, {"0x12", 2, 0},   {"ff", 2, 0xFF}, {"AbC", 4, 0xABC},
      {"", 4, 0},        {"X7", 2, 7},       {"1x2", 4, 1},    {"12G4", 4, 0x12}, {"0000", 4, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseHex(c.text, c.limit), c.expected) << '"' << c.text << "\" limit " << c.limit;
  }
}

TEST(ListFieldTest, SkipsEmptyFieldsLikeATokenizer) {
  EXPECT_EQ(ListField("2,6", 0), 2);
  EXPECT_EQ(ListField("2,6", 1), 6);
  EXPECT_EQ(ListField("2,6", 2), -1);
  EXPECT_EQ(ListField(",,2,,,6,", 1), 6);
  EXPECT_EQ(ListField(" 3, 4", 1), 4);
  EXPECT_EQ(ListField("12345", 0), 1234);
  EXPECT_EQ(ListField("", 0), -1);
  EXPECT_EQ(ListField(",,,", 0), -1);
  EXPECT_EQ(ListField("x,1", 0), 0);
}

TEST(ListFieldTest, LooksAtNoMoreThan127Characters) {
  std::string text(126, ',');
  text += "5,7";
  EXPECT_EQ(ListField(text, 0), 5);
  EXPECT_EQ(ListField(text, 1), -1);
}

TEST(PrintablePrefixTest, StopsAtTheFirstCharacterOutside0x20To0x7F) {
  EXPECT_EQ(PrintablePrefix("Mode\tx"), "Mode");
  EXPECT_EQ(PrintablePrefix("A\x7F" "B"), "A\x7F" "B");
  EXPECT_EQ(PrintablePrefix("ab\x80" "cd"), "ab");
  EXPECT_EQ(PrintablePrefix(std::string(200, 'z')), std::string(128, 'z'));
}

TEST(ExtractBitsTest, ShiftsMasksAndCutsTo32Bits) {
  EXPECT_EQ(ExtractBits(0xB4, 2, 6, 1), 0x2Du);
  EXPECT_EQ(ExtractBits(0xB4, 0, 2, 1), 0u);
  EXPECT_EQ(ExtractBits(0x123456789ABCDEF0ull, 0, 64, 8), 0x9ABCDEF0u);
  EXPECT_EQ(ExtractBits(0x123456789ABCDEF0ull, 32, 40, 8), 0x12345678u);
  EXPECT_EQ(ExtractBits(0xFF, 0, 8, 9), 0u);
  EXPECT_EQ(ExtractBits(0xFF, 0, 0, 1), 0u);
  EXPECT_EQ(ExtractBits(0xFF, 0, -1, 1), 0u);
  EXPECT_EQ(ExtractBits(0xFF, 70, 4, 8), 0u);
}

}  // namespace
}  // namespace dozered
