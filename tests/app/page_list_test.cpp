#include "app/page_list.h"

#include <gtest/gtest.h>

#include <vector>

#include "app/config_file.h"
#include "app/page_table.h"
#include "support/temp_dir.h"

namespace dozered {
namespace {

struct PageListCase {
  const char* name;
  std::string content;
  std::vector<int> enabled;  // PageEnabled entries that end up 1
  std::vector<int> tabs;     // tabs shown
  int active;
  bool chunk_ecc_button;
};

std::vector<int> Indices(const auto& flags) {
  std::vector<int> out;
  for (int i = 0; i < kPageCount; ++i) {
    if (flags[i]) out.push_back(i);
  }
  return out;
}

std::string AllPages() {
  std::string text;
  for (const PageInfo& page : kPages) text += std::string("\"") + page.TabSheetName + "\"\r\n";
  return text;
}

TEST(LoadPageListTest, EnablesListedPages) {
  const std::string long_comment(150, '#');
  const PageListCase cases[] = {
      {"every page",
       AllPages(),
       {0, 1, 2, 3, 4, 5, 7, 8, 9, 10, 11, 12, 13},
       {0, 1, 2, 3, 4, 5, 7, 8, 9, 10, 11, 12, 13},
       0,
       true},
      {"caption is not the name", "\"Smart Info\"\r\n", {}, {}, -1, false},
      {"name enables the page", "\"Smart Data\"\r\n", {2}, {2}, 2, false},
      {"L2P by its file name", "\"L2P Mapping\"\r\n\"L2P mapping\"\r\n", {11}, {11}, 11, false},
      {"names compared with case", "\"flash rw\"\r\n", {}, {}, -1, false},
      {"only Chunk ECC: no tab, button, active page 6", "\"Chunk ECC\"\r\n", {}, {}, 6, true},
      {"comment after the name", "\"Flash RW\" ; raw pages\r\n", {7}, {7}, 7, false},
      {"active page is the first by index",
       "\"Error Log\"\n\"Card Info\"\n",
       {3, 13},
       {3, 13},
       3,
       false},
      {"Chunk ECC before other pages is active",
       "\"Flash RW\"\r\n\"Chunk ECC\"\r\n",
       {7},
       {7},
       6,
       true},
      {"line without second quote ends reading",
       "\"Card Info\"\r\nError Log\r\n\"Microcode\"\r\n",
       {3},
       {3},
       3,
       false},
      {"empty line ends reading", "\"Card Info\"\r\n\r\n\"Microcode\"\r\n", {3}, {3}, 3, false},
      {"name starts after the first character",
       " \"Flash RW\"\r\n\"Microcode\"\r\n",
       {12},
       {12},
       12,
       false},
      {"over-long line does not end reading",
       "\"Card Info\" " + long_comment + "\r\n\"Microcode\"\r\n",
       {3, 12},
       {3, 12},
       3,
       false},
      {"empty file", "", {}, {}, -1, false},
      {"utf-8 byte-order mark before the first name",
       "\xEF\xBB\xBF\"Read Flash ID\"\r\n\"Card Info\"\r\n",
       {0, 3},
       {0, 3},
       0,
       false},
  };
  testing::TempDir dir;
  for (const PageListCase& c : cases) {
    std::array<uint8_t, kPageCount> enabled;
    enabled.fill(1);  // loading must clear it
    PageListLayout layout = LoadPageList(dir.Write("TabSheet.ini", c.content), enabled, nullptr);
    EXPECT_EQ(Indices(enabled), c.enabled) << c.name;
    EXPECT_EQ(Indices(layout.TabVisible), c.tabs) << c.name;
    EXPECT_EQ(layout.ActivePage, c.active) << c.name;
    EXPECT_EQ(layout.ChunkEccButtonVisible, c.chunk_ecc_button) << c.name;
  }
}

TEST(LoadPageListTest, FileThatCannotBeUsedHidesEverythingAndIsNamed) {
  testing::TempDir dir;
  struct Case {
    const char* name;
    std::string content;
    const char* note;
  } cases[] = {
      {"utf-16", std::string("\xFF\xFE\"\0R\0", 6), " is saved as UTF-16 and was not read; save it as ANSI or UTF-8"},
      {"too large", AllPages() + std::string(kConfigFileMaxBytes, ' '), " is larger than 1024 KB and was not read"},
  };
  for (const Case& c : cases) {
    std::array<uint8_t, kPageCount> enabled;
    const std::string path = dir.Write("TabSheet.ini", c.content);
    PageListLayout layout = LoadPageList(path, enabled, nullptr);
    EXPECT_TRUE(Indices(enabled).empty()) << c.name;
    EXPECT_EQ(layout.ActivePage, -1) << c.name;
    EXPECT_EQ(layout.Note, path + c.note) << c.name;
  }
}

TEST(LoadPageListTest, MissingFileHidesEverything) {
  testing::TempDir dir;
  std::array<uint8_t, kPageCount> enabled;
  enabled.fill(1);
  PageListLayout layout = LoadPageList(dir.Path("TabSheet.ini"), enabled, nullptr);
  EXPECT_TRUE(Indices(enabled).empty());
  EXPECT_TRUE(Indices(layout.TabVisible).empty());
  EXPECT_EQ(layout.ActivePage, -1);
  EXPECT_FALSE(layout.ChunkEccButtonVisible);
  EXPECT_TRUE(layout.Note.empty());
}

}  // namespace
}  // namespace dozered
