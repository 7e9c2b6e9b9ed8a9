#include "decode/ini_file.h"

#include <gtest/gtest.h>



namespace dozered {
namespace {

const char* const kText =
    "\xEF\xBB\xBF; a comment\r\n"
    "orphan=before any section\r\n"
    "[Setting]\r\n"
    "  UnitSize =  2  \r\n"
    "unitsize=9\r\n"
    "Quoted=\" 1\"\r\n"
    "Single='abc'\r\n"
    "Mixed=\"abc'\r\n"
    "Lone=\"\r\n"
    "Empty=\r\n"
    "NoEquals\r\n"
    "[ITEM_0]\n"
    "ItemDesc=Name\twith tab\n"
    "[Item_1]\n"
    "[setting]\n"
    "TotalUnitNum=7\n";

TEST(IniFileTest, FollowsPrivateProfileRules) {
  const IniFile ini = IniFile::FromText(kText);
  struct Case {
    const char* section;
    const char* key;
    const char* expected;
  } cases[] = {
      {"Setting", "UnitSize", "2"},         // blanks around name and value trimmed
      {"SETTING", "unitSIZE", "2"},         // names without regard to case; first key wins
      {"Setting", "Quoted", " 1"},          // a matching pair of quotes is removed
      {"Setting", "Single", "abc"},
      {"Setting", "Mixed", "\"abc'"},       // quotes that do not match stay
      {"Setting", "Lone", "\""},
      {"Setting", "Empty", ""},             // present and empty: empty, not the default
      {"Setting", "NoEquals", "dflt"},      // a line without "=" has no value
      {"Setting", "Missing", "dflt"},
      {"Setting", "TotalUnitNum", "dflt"},  // a repeated section adds nothing
      {"Item_0", "ItemDesc", "Name\twith tab"},
      {"Nowhere", "ItemDesc", "dflt"},
      {"", "orphan", "dflt"},
      {"Setting", "", "dflt"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ini.GetString(c.section, c.key, "dflt"), c.expected) << c.section << "/" << c.key;
  }
  EXPECT_TRUE(ini.HasKeys("item_0"));
  EXPECT_FALSE(ini.HasKeys("Item_1"));
  EXPECT_FALSE(ini.HasKeys("Item_2"));
}

TEST(IniFileTest, CutsValuesToTheCallersSize) {
  const IniFile ini = IniFile::FromText("[S]\nLong=" + std::string(300, 'a') + "\nNul=ab" + std::string(1, '\0') + "cd\n");
  EXPECT_EQ(ini.GetString("S", "Long", ""), std::string(127, 'a'));
  EXPECT_EQ(ini.GetString("S", "Long", "", 5), "aaaaa");
  EXPECT_EQ(ini.GetString("S", "Nul", ""), "ab");
  EXPECT_EQ(ini.GetString("S", "Gone", std::string(200, 'd')), std::string(127, 'd'));
}

}  // namespace
}  // namespace dozered
