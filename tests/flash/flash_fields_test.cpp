// The address fields of the flash pages: what a command is sent with, the
// displays built from the two bytes, and the texts the steppers and the
// transfer rate accept.
#include <gtest/gtest.h>

#include "flash/flash_fields.h"

namespace dozered {
namespace {

TEST(FlashFieldsTest, TargetTakesTheCharactersEachFieldAllows) {
  struct Case {
    const char* block;
    const char* page;
    const char* chunk;
    const char* option;
    const char* chce;
    int sectorIndex;
    uint32_t wantBlock, wantPage;
    uint8_t wantChunk, wantOption, wantChCe;
    uint32_t wantD;
  } cases[] = {
      {"0000", "0000", "00", "21", "00", 0, 0, 0, 0, 0x21, 0x00, 2},
      {"0x1F", "0x123", "0x12", "0xFF", "6A", 4, 0x1F, 0x12, 0x00, 0x00, 0x6A, 32},
      {"ffff", "1A2B", "FF", "e1", "07", 5, 0xFFFF, 0x1A2B, 0xFF, 0xE1, 0x07, 64},
      {"", "12G4", "100", "2", "", 1, 0, 0x12, 0x10, 0x02, 0x00, 4},
      {"12345", "0001", "7", "21", "00", 3, 0x1234, 1, 0x07, 0x21, 0x00, 16},
      // An index outside the list counts as its first item.
      {"0001", "0001", "00", "21", "00", 6, 1, 1, 0, 0x21, 0, 2},
      {"0001", "0001", "00", "21", "00", -1, 1, 1, 0, 0x21, 0, 2},
  };
  for (const Case& c : cases) {
    FlashAddressFields fields;
    fields.Block = c.block;
    fields.Page = c.page;
    fields.Chunk = c.chunk;
    fields.Option = c.option;
    fields.ChCe = c.chce;
    fields.SectorIndex = c.sectorIndex;
    const FlashTarget t = ParseFlashTarget(fields);
    SCOPED_TRACE(std::string(c.block) + " " + c.page + " " + c.chunk);
    EXPECT_EQ(t.Address.block, c.wantBlock);
    EXPECT_EQ(t.Address.page, c.wantPage);
    EXPECT_EQ(t.Address.chunk, c.wantChunk);
    EXPECT_EQ(t.Address.option, c.wantOption);
    EXPECT_EQ(t.Address.chCe, c.wantChCe);
    EXPECT_EQ(t.DataSectors, c.wantD);
    EXPECT_EQ(t.ReadSectors, c.wantD + 1);
  }
}

TEST(FlashFieldsTest, DisplaysComeFromTheBytes) {
  EXPECT_EQ(PlaneDisplay(0x21), "00");
  EXPECT_EQ(PlaneDisplay(0xE1), "03");
  EXPECT_EQ(ChannelDisplay(0x6A), "02");
  EXPECT_EQ(InterleaveDisplay(0x6A), "05");
  EXPECT_EQ(ByteText(0x0A), "0A");
}

TEST(FlashFieldsTest, StepperAndTransferRateTexts) {
  EXPECT_EQ(ParseStepperText("1F"), 0x1Fu);
  EXPECT_EQ(ParseStepperText("ffff"), 0xFFFFu);
  EXPECT_EQ(ParseStepperText("12345678"), 0x12345678u);
  for (const char* bad : {"", "0x1F", " 1F", "1F ", "-1", "G", "123456789"}) {
    EXPECT_FALSE(ParseStepperText(bad)) << bad;
  }
  EXPECT_EQ(ParseTransferRate("1"), uint16_t{1});
  EXPECT_EQ(ParseTransferRate("65535"), uint16_t{65535});
  for (const char* bad : {"", "65536", "100000", "-1", "1.5", "12 ", "0x10", "abc"}) {
    EXPECT_FALSE(ParseTransferRate(bad)) << bad;
  }
}

}  // namespace
}  // namespace dozered
