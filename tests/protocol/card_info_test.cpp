#include "protocol/card_info.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace dozered {
namespace {

struct FieldCase {
  const char* name;
  uint32_t offset;
  int width;  // 1 or 2 bytes, little-endian
  std::function<int(const CardInfo&)> read;
};

// Each field is read from its own offset: a distinct value written at the
// offset must come back, and the neighbouring bytes must not leak in.
TEST(CardInfoTest, ReadsEveryFieldAtItsOffset) {
  const std::vector<FieldCase> cases = {
      {"CardMode", 10, 1, [](const CardInfo& c) { return c.CardMode(); }},
      {"RuntimeBadBlockCount", 16, 2, [](const CardInfo& c) { return c.RuntimeBadBlockCount(); }},
      {"Temperature", 19, 1, [](const CardInfo& c) { return c.Temperature(); }},
      {"FlashMakerCode", 346, 1, [](const CardInfo& c) { return c.FlashMakerCode(); }},
      {"CardMode0", 347, 1, [](const CardInfo& c) { return c.CardMode0(); }},
      {"FlashParameter", 348, 1, [](const CardInfo& c) { return c.FlashParameter(); }},
      {"CardFlashOption", 349, 1, [](const CardInfo& c) { return c.CardFlashOption(); }},
      {"InterleaveWays", 354, 1, [](const CardInfo& c) { return c.InterleaveWays(); }},
      {"PlaneCount", 355, 1, [](const CardInfo& c) { return c.PlaneCount(); }},
      {"ChannelCount", 356, 1, [](const CardInfo& c) { return c.ChannelCount(); }},
      {"CeCount", 357, 1, [](const CardInfo& c) { return c.CeCount(); }},
      {"DataEccMode", 360, 1, [](const CardInfo& c) { return c.DataEccMode(); }},
      {"SpareEccMode", 361, 1, [](const CardInfo& c) { return c.SpareEccMode(); }},
      {"InfoBlock0", 368, 2, [](const CardInfo& c) { return c.InfoBlock(0); }},
      {"InfoBlock1", 370, 2, [](const CardInfo& c) { return c.InfoBlock(1); }},
      {"IspBlock0", 372, 2, [](const CardInfo& c) { return c.IspBlock(0); }},
      {"IspBlock1", 374, 2, [](const CardInfo& c) { return c.IspBlock(1); }},
      {"TotalFBlockCount", 386, 2, [](const CardInfo& c) { return c.TotalFBlockCount(); }},
      {"BlocksPerCe", 390, 2, [](const CardInfo& c) { return c.BlocksPerCe(); }},
      {"OriginalBadBlockCount", 396, 2, [](const CardInfo& c) { return c.OriginalBadBlockCount(); }},
      {"PretestBadBlockCount", 398, 2, [](const CardInfo& c) { return c.PretestBadBlockCount(); }},
      {"PageSizeKiB", 402, 1, [](const CardInfo& c) { return c.PageSizeKiB(); }},
      {"SectorsPerPage", 403, 1, [](const CardInfo& c) { return c.SectorsPerPage(); }},
      {"PagesPerBlock", 404, 2, [](const CardInfo& c) { return c.PagesPerBlock(); }},
  };
  for (const auto& f : cases) {
    SCOPED_TRACE(f.name);
    std::array<uint8_t, 2048> record;
    record.fill(0xEE);
    record[f.offset] = 0x34;
    if (f.width == 2) record[f.offset + 1] = 0x12;
    const CardInfo info(record);
    EXPECT_EQ(f.read(info), f.width == 2 ? 0x1234 : 0x34);
  }
}

TEST(CardInfoTest, EraseCountStartBlockIsSigned) {
  std::array<uint8_t, kCardInfoSize> record{};
  record[384] = 0xFE;
  record[385] = 0xFF;
  EXPECT_EQ(CardInfo(record).EraseCountStartBlock(), -2);
}

TEST(CardInfoTest, FlashIdAndDrivingEntriesSitAtTheirTableOffsets) {
  std::array<uint8_t, kCardInfoSize> record{};
  for (int i = 0; i < 8; ++i) record[120 + i] = static_cast<uint8_t>(0xA0 + i);  // CE 2, channel 1
  for (int i = 0; i < 8; ++i) record[488 + i] = static_cast<uint8_t>(0x11 * (i + 1));  // CH1
  const CardInfo info(record);
  EXPECT_EQ(info.FlashId(2, 1), (std::array<uint8_t, 8>{0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7}));
  EXPECT_TRUE(info.HasChip(2, 1));
  EXPECT_FALSE(info.HasChip(1, 2));
  EXPECT_EQ(info.FlashDriving(1), (std::array<uint8_t, 8>{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}));
  EXPECT_EQ(info.FlashDriving(0), (std::array<uint8_t, 8>{}));
}

TEST(CardInfoTest, OutOfRangeReadsGiveZero) {
  std::array<uint8_t, 12> shortRecord;
  shortRecord.fill(0xFF);
  const CardInfo info(shortRecord);
  EXPECT_EQ(info.CardMode(), 0xFF);
  EXPECT_EQ(info.PagesPerBlock(), 0);
  EXPECT_EQ(info.FlashId(8, 0), (std::array<uint8_t, 8>{}));
  EXPECT_EQ(info.FlashDriving(4), (std::array<uint8_t, 8>{}));
  EXPECT_EQ(info.InfoBlock(2), 0);
}

}  // namespace
}  // namespace dozered
