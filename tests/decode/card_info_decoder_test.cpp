#include "decode/card_info_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>

namespace dozered {
namespace {

using Record = std::array<uint8_t, kCardInfoSize>;

std::vector<std::string> Lines(const Record& r) {
  std::vector<std::string> lines;
  for (const Row& row : DecodeCardInfo(CardInfo(r))) {
    EXPECT_EQ(row.size(), 1u);
    lines.push_back(row.at(0));
  }
  return lines;
}

TEST(DecodeCardInfoTest, ZeroRecord) {
  const std::vector<std::string> expected = {
      "Original Bad Block Count: 0",
      "Pretest Bad Block Count: 0",
      "Runtime Bad Block Count: 0",
      "Total F-Block Count: 0",
      "Flash Driving CH0:      0x00 0x00 0x00 0x00 0x00 0x00 0x00 0x00",
      "Flash Driving CH1:      0x00 0x00 0x00 0x00 0x00 0x00 0x00 0x00",
      "Flash Driving CH2:      0x00 0x00 0x00 0x00 0x00 0x00 0x00 0x00",
      "Flash Driving CH3:      0x00 0x00 0x00 0x00 0x00 0x00 0x00 0x00",
      "Card Mode 0: 0x00",
      "Flash Parameter: 0x00",
      "Flash Option: 0x00",
      "Card Configuration ",
      "      0 Way interleave",
      "      Total channel number: 0",
      "      Total Ce number: 0",
      "      Total plane number: 0",
      "      Page 0",
      "      Page 0K",
      "ECC Bits",
      "      Spare ECC setting: 24b(16B+26B)",
  };
  EXPECT_EQ(Lines(Record{}), expected);
}

TEST(DecodeCardInfoTest, FieldsAtTheirOffsets) {
  Record r{};
  auto u16 = [&r](size_t at, unsigned v) {
    r[at] = static_cast<uint8_t>(v);
    r[at + 1] = static_cast<uint8_t>(v >> 8);
  };
  u16(396, 12);
  u16(398, 300);
  u16(16, 65535);
  u16(386, 4096);
  const uint8_t drive[] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
  std::copy(std::begin(drive), std::end(drive), r.begin() + 488);
  r[347] = 0xFF;
  r[348] = 0x81;
  r[349] = 0xFF;
  r[354] = 2;
  r[356] = 4;
  r[357] = 8;
  r[355] = 2;
  u16(404, 768);
  r[402] = 16;
  r[360] = 7;
  r[361] = 2;
  const std::vector<std::string> expected = {
      "Original Bad Block Count: 12",
      "Pretest Bad Block Count: 300",
      "Runtime Bad Block Count: 65535",
      "Total F-Block Count: 4096",
      "Flash Driving CH0:      0x00 0x00 0x00 0x00 0x00 0x00 0x00 0x00",
      "Flash Driving CH1:      0x11 0x22 0x33 0x44 0x55 0x66 0x77 0x88",
      "Flash Driving CH2:      0x00 0x00 0x00 0x00 0x00 0x00 0x00 0x00",
      "Flash Driving CH3:      0x00 0x00 0x00 0x00 0x00 0x00 0x00 0x00",
      "Card Mode 0: 0xFF",
      "      Internal interleave mode",
      "      External interleave mode",
      "      With SLC mode",
      "Flash Parameter: 0x81",
      "      MLC",
      "      LsbPlaneBit",
      "Flash Option: 0xFF",
      "      Enable multiple plane read",
      "      Enable multiple plane program",
      "      Enable copy back",
      "      Enable cache read",
      "      Enable cache program",
      "      ONFI mode",
      "Card Configuration ",
      "      2 Way interleave",
      "      Total channel number: 4",
      "      Total Ce number: 8",
      "      Total plane number: 2",
      "      Page 768",
      "      Page 16K",
      "ECC Bits",
      "      Data ECC bits: 66b",
      "      Spare ECC setting: 24b(26B+26B)",
  };
  EXPECT_EQ(Lines(r), expected);
}

TEST(DecodeCardInfoTest, EccLinesByMode) {
  struct Case {
    uint8_t data, spare;
    std::vector<std::string> tail;  // lines after "ECC Bits"
  } cases[] = {
      {8, 0, {"      Spare ECC setting: 24b(16B+26B)"}},
      {1, 3, {"      Data ECC bits: 24b"}},
      {0, 1, {"      Spare ECC setting: 20b(26B+22B)"}},
      {3, 255, {"      Data ECC bits: 40b"}},
  };
  for (const Case& c : cases) {
    Record r{};
    r[360] = c.data;
    r[361] = c.spare;
    const auto lines = Lines(r);
    const auto ecc = std::find(lines.begin(), lines.end(), "ECC Bits");
    ASSERT_NE(ecc, lines.end());
    EXPECT_EQ(std::vector<std::string>(ecc + 1, lines.end()), c.tail) << int(c.data) << "/" << int(c.spare);
  }
}

TEST(DecodeCardInfoTest, ShortRecordReadsAsZeroBeyondItsEnd) {
  const std::array<uint8_t, 20> shortRecord{};
  EXPECT_EQ(DecodeCardInfo(CardInfo(shortRecord)).size(), 20u);
}

}  // namespace
}  // namespace dozered
