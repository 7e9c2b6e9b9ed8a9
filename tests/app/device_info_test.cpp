#include "app/device_info.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace dozered {
namespace {

void PutSwapped(uint8_t* identify, size_t firstByte, const char* text) {
  for (size_t i = 0; text[i]; ++i) identify[firstByte + (i ^ 1)] = static_cast<uint8_t>(text[i]);
}

struct Drive {
  std::array<uint8_t, kCardInfoEntrySize> card{};
  std::array<uint8_t, 512> identify{};
  Drive(uint8_t mode) {
    card[10] = mode;
    card[19] = 7;
    card[346] = 0x98;
    PutSwapped(identify.data(), 20, "SN0123456789ABCDEFGH");
    PutSwapped(identify.data(), 54, "DOZERED SSD 256GB                       ");
    PutSwapped(identify.data(), 46, "P0A10001");
    const uint32_t sectors = 500118192;  // 28-bit field: 244198 MB
    std::memcpy(identify.data() + 120, &sectors, 4);
  }
};

TEST(DeviceInfoTest, LinesPerCardMode) {
  const std::vector<std::string> tail = {
      "Serial Number: SN0123456789ABCDEFGH",
      "Model Name: DOZERED SSD 256GB                       ",
      "Firmware Rev: P0A10001",
      "Capacity: 244198 MB",
      "Flash Vendor: TOSHIBA",
  };
  struct Case {
    uint8_t mode;
    std::vector<std::string> modeLines;
    bool rom;
  } cases[] = {
      {0, {"ROM Code Mode"}, true},
      {1, {"MPISP Code Mode", "Temperature Sensor(D): 07"}, false},
      {2, {}, false},
      {5, {}, false},
  };
  for (const Case& c : cases) {
    Drive d(c.mode);
    DeviceInfo info = BuildDeviceInfo("sdb", d.card.data(), d.identify.data());
    std::vector<std::string> expected = {"sdb", "IC Controller: VE4810VO"};
    expected.insert(expected.end(), c.modeLines.begin(), c.modeLines.end());
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(info.lines, expected) << int(c.mode);
    EXPECT_EQ(info.romCodeMode, c.rom) << int(c.mode);
  }
}

TEST(DeviceInfoTest, CapacityUsesThe48BitCountOnlyWhenWord83IsValidAndHasBit10) {
  struct Case {
    const char* name;
    uint16_t word83;
    uint64_t lba48;
    uint32_t lba28;
    int64_t megabytes;
  } cases[] = {
      {"no 48-bit feature", 0x4000, uint64_t{1} << 32, 0x0FFFFFFF, 0x0FFFFFFF >> 11},
      {"48-bit feature", 0x4400, uint64_t{1} << 32, 0x0FFFFFFF, 2097152},
      {"bit 10 in a word marked invalid (00)", 0x0400, uint64_t{1} << 32, 0x0FFFFFFF, 0x0FFFFFFF >> 11},
      {"bit 10 in a word marked invalid (11)", 0xC400, uint64_t{1} << 32, 0x0FFFFFFF, 0x0FFFFFFF >> 11},
      {"past 2^32 MB", 0x7409, uint64_t{0xFFFFFFFF} * 2048 * 4, 0x0FFFFFFF, int64_t{0xFFFFFFFF} * 4},
      {"largest 48-bit count", 0x4400, (uint64_t{1} << 48) - 1, 0, ((int64_t{1} << 48) - 1) / 2048},
      {"28-bit count with every bit set", 0x4000, 0, 0xFFFFFFFF, 2097151},
  };
  for (const Case& c : cases) {
    std::array<uint8_t, 512> id{};
    std::memcpy(id.data() + 200, &c.lba48, 8);
    std::memcpy(id.data() + 120, &c.lba28, 4);
    id[166] = static_cast<uint8_t>(c.word83);
    id[167] = static_cast<uint8_t>(c.word83 >> 8);
    EXPECT_EQ(CapacityMegabytes(id.data()), c.megabytes) << c.name;
  }
}

TEST(DeviceInfoTest, AllOnesIdentifyShowsTheCapacityOfWords60To61) {
  std::array<uint8_t, kCardInfoEntrySize> card{};
  std::array<uint8_t, 512> id;
  id.fill(0xFF);
  const DeviceInfo info = BuildDeviceInfo("sdb", card.data(), id.data());
  EXPECT_NE(std::find(info.lines.begin(), info.lines.end(), "Capacity: 2097151 MB"), info.lines.end());
}

TEST(DeviceInfoTest, CapacityBeyond32BitsIsPrintedWhole) {
  std::array<uint8_t, kCardInfoEntrySize> card{};
  std::array<uint8_t, 512> id{};
  const uint64_t sectors = uint64_t{1} << 44;  // 8 PiB
  std::memcpy(id.data() + 200, &sectors, 8);
  id[167] = 0x44;
  const DeviceInfo info = BuildDeviceInfo("sdb", card.data(), id.data());
  EXPECT_NE(std::find(info.lines.begin(), info.lines.end(), "Capacity: 8589934592 MB"), info.lines.end());
}

TEST(DeviceInfoTest, FlashVendorTable) {
  const std::pair<uint8_t, const char*> cases[] = {
      {0xEC, "Flash Vendor: SAMSUNG"}, {0x98, "Flash Vendor: TOSHIBA"},
      {0xC1, "Flash Vendor: INFINEON"}, {0x45, "Flash Vendor: SANDISK"},
      {0xAD, "Flash Vendor: HYNIX"},   {0x2C, "Flash Vendor: MICRON"},
      {0x89, "Flash Vendor: INTEL"},   {0x20, "Flash Vendor: ST"},
      {0x07, "Flash Vendor: AGAND"},   {0x01, "Flash Vendor: Unknown"},
      {0x00, "Flash Vendor: Unknown"}, {0xFF, "Flash Vendor: Unknown"},
  };
  for (const auto& [id, line] : cases) EXPECT_EQ(FlashVendorLine(id), line) << int(id);
}

TEST(DeviceInfoTest, IdentifyTextEndsAtTheFirstNul) {
  std::array<uint8_t, 512> id{};
  PutSwapped(id.data(), 46, "AB");
  EXPECT_EQ(SwappedIdentifyText(id.data(), 46, 8), "AB");
}

TEST(DeviceInfoTest, ListEntry) {
  EXPECT_EQ(DeviceListEntry("PHYSICALDRIVE1", 3, 0), "PHYSICALDRIVE1 (3, 0)");
  EXPECT_EQ(DeviceListEntry("e:", 2, 0), "e: (2, 0)");
}

TEST(PageRuleTest, ModesKeepTheirPagesAmongTheEnabledOnes) {
  std::array<uint8_t, kPageCount> all{};
  all.fill(1);
  all[6] = 0;  // the Chunk ECC page is never a tab
  struct Case {
    uint8_t mode;
    std::array<uint8_t, kPageCount> enabled;
    std::vector<int> visible;
    ChunkEccButton chunkEcc;
  } cases[] = {
      {0, all, {0}, ChunkEccButton::Unchanged},
      {1, all, {0, 1, 3, 7, 8, 10, 13}, ChunkEccButton::Hidden},
      {2, all, {0, 1, 2, 3, 4, 5, 7, 8, 9, 10, 11, 12}, ChunkEccButton::Shown},
      {1, {1, 0, 1, 0, 0, 0, 0, 1}, {0, 7}, ChunkEccButton::Hidden},
      {2, {0, 0, 1}, {2}, ChunkEccButton::Unchanged},
      {0, {0, 1}, {}, ChunkEccButton::Unchanged},
  };
  for (const Case& c : cases) {
    PageRule rule = PagesForCardMode(c.mode, c.enabled);
    std::vector<int> visible;
    for (int p = 0; p < kPageCount; ++p) {
      if (rule.visible[p]) visible.push_back(p);
    }
    EXPECT_EQ(visible, c.visible) << int(c.mode);
    EXPECT_EQ(rule.chunkEcc, c.chunkEcc) << int(c.mode);
  }
}

}  // namespace
}  // namespace dozered
