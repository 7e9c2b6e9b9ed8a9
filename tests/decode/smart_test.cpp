#include "decode/smart.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

namespace dozered {
namespace {

using Block = std::array<uint8_t, 512>;

void SetEntry(Block& s, int e, uint8_t id, uint8_t current, uint8_t worst, std::array<uint8_t, 6> raw) {
  uint8_t* p = s.data() + 2 + 12 * e;
  p[0] = id;
  p[3] = current;
  p[4] = worst;
  std::memcpy(p + 5, raw.data(), 6);
}

TEST(DecodeSmartTest, RowsInEntryOrderWithRawValueMostSignificantFirst) {
  Block s{};
  SetEntry(s, 0, 0x09, 0x64, 0x63, {1, 2, 3, 4, 5, 6});
  SetEntry(s, 2, 0xC2, 0xFF, 0x00, {0x21, 0, 0, 0, 0, 0});
  SetEntry(s, 29, 0x05, 1, 2, {});
  SmartNames names;
  names[0x09] = "Power-On Hours";
  names[0xC2] = "Temperature";
  EXPECT_EQ(DecodeSmart(s, names),
            (Rows{{"09 Power-On Hours", "0x64 (100)", "0x63 (99)", "06 05 04 03 02 01"},
                  {"C2 Temperature", "0xFF (255)", "0x00 (0)", "00 00 00 00 00 21"},
                  {"05 ", "0x01 (1)", "0x02 (2)", "00 00 00 00 00 00"}}));
}

TEST(DecodeSmartTest, StartUpTableEntriesAreReadWithinTheirSize) {
  AttributeNameTable table{};
  std::strcpy(table[1].data(), "Raw Read Error Rate");
  table[2].fill('x');  // no NUL anywhere in the entry
  const SmartNames names = NamesFromTable(table);
  EXPECT_EQ(names[1], "Raw Read Error Rate");
  EXPECT_EQ(names[2], std::string(100, 'x'));
  Block s{};
  SetEntry(s, 0, 2, 0, 0, {});
  EXPECT_EQ(DecodeSmart(s, names)[0][0], "02 " + std::string(99, 'x'));
}

}  // namespace
}  // namespace dozered
