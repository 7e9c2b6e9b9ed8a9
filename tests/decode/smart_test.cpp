#include "decode/smart.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>

#include "support/temp_dir.h"

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

struct Drive {
  Block identify{};
  Block isp{};
  Drive(const char* folder, const char* tail, const char* firmware) {
    std::memcpy(isp.data() + 404, folder, std::min<size_t>(std::strlen(folder), 12));
    std::memcpy(isp.data() + 416, tail, std::min<size_t>(std::strlen(tail), 4));
    for (size_t i = 0; i < std::strlen(firmware) && i < 8; ++i) identify[46 + (i ^ 1)] = static_cast<uint8_t>(firmware[i]);
  }
};

TEST(PerModelStringIniPathTest, FolderFromTheIspVersionAndTheSndkRule) {
  const std::filesystem::path dir = "exe";
  struct Case {
    const char* folder;
    const char* tail;
    const char* firmware;
    const char* path;
  } cases[] = {
      {"VE4810VO_ISP", "SNDK", "P01A2B3C", "exe/VE4810VO_ISP/P01/String.ini"},
      {"VE4810VO_ISP", "SNDK", "Q01A2B3C", "exe/VE4810VO_ISP/String.ini"},
      {"VE4810VO_ISP", "SNDJ", "P01A2B3C", "exe/VE4810VO_ISP/String.ini"},
      {"VE48", "SNDK", "X", "exe/VE48/String.ini"},  // NUL at byte 408
      {"/etc", "", "", "exe/etc/String.ini"},       // the drive's text never leaves the directory
  };
  for (const Case& c : cases) {
    const Drive d(c.folder, c.tail, c.firmware);
    EXPECT_EQ(PerModelStringIniPath(dir, d.identify, d.isp).generic_string(), c.path) << c.folder << c.firmware;
  }
}

class DecodeSmartFilesTest : public ::testing::Test {
 protected:
  void SetUp() override { std::filesystem::create_directories(temp_.Dir() / "ISPV1" / "P01"); }
  void Write(const std::string& rel, const std::string& text) { temp_.Write(rel, text); }
  testing::TempDir temp_;
  const std::filesystem::path& dir_ = temp_.Dir();
};

TEST_F(DecodeSmartFilesTest, PerModelFileIsTheOnlySourceWhenPresent) {
  Write("ISPV1/String.ini", "[VE4810VO]\r\nID9=Model Hours\r\nIDC2=Model Temp\r\n");
  Write("ISPV1/P01/String.ini", "[VE4810VO]\r\nID9=Sandisk Hours\r\n");
  AttributeNameTable startup{};
  std::strcpy(startup[5].data(), "Reallocated");
  std::strcpy(startup[9].data(), "Startup Hours");
  Block s{};
  SetEntry(s, 0, 0x09, 0, 0, {});
  SetEntry(s, 1, 0xC2, 0, 0, {});
  SetEntry(s, 2, 0x05, 0, 0, {});

  const Drive plain("ISPV1", "", "Q1");
  Rows rows = DecodeSmart(s, plain.identify, plain.isp, dir_, startup);
  EXPECT_EQ(rows[0][0], "09 Model Hours");
  EXPECT_EQ(rows[1][0], "C2 Model Temp");
  EXPECT_EQ(rows[2][0], "05 ");  // missing key: empty, no fall-back

  const Drive sandisk("ISPV1", "SNDK", "P01X");
  EXPECT_EQ(DecodeSmart(s, sandisk.identify, sandisk.isp, dir_, startup)[0][0], "09 Sandisk Hours");

  const Drive other("ISPV2", "", "");
  rows = DecodeSmart(s, other.identify, other.isp, dir_, startup);
  EXPECT_EQ(rows[0][0], "09 Startup Hours");
  EXPECT_EQ(rows[2][0], "05 Reallocated");
}

}  // namespace
}  // namespace dozered
