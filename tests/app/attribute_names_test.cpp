#include "app/attribute_names.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>

#include "app/config_file.h"
#include "support/temp_dir.h"

namespace dozered {
namespace {

// `count` lines "ID%X=Name%d" for IDs first..first+count-1, with "\r\n" ends.
std::string NameLines(int first, int count) {
  std::string text;
  for (int id = first; id < first + count; ++id) {
    char line[40];
    std::snprintf(line, sizeof line, "ID%X=Name%d\r\n", id, id);
    text += line;
  }
  return text;
}

struct NamesCase {
  const char* name;
  std::string content;
  std::map<int, std::string> expected;  // entries not listed must be empty
};

class LoadAttributeNamesTest : public ::testing::Test {
 protected:
  void Check(const NamesCase& c) {
    AttributeNameTable names;
    for (auto& entry : names) entry.fill('x');  // loading must clear it
    LoadAttributeNames(dir_.Write("String.ini", c.content), names);
    for (int i = 0; i < kAttributeNameCount; ++i) {
      auto it = c.expected.find(i);
      std::string want = it == c.expected.end() ? "" : it->second;
      EXPECT_EQ(std::string(names[i].data()), want) << c.name << ", entry " << i;
      EXPECT_EQ(names[i].back(), '\0') << c.name << ", entry " << i;
    }
  }
  testing::TempDir dir_;
};

TEST_F(LoadAttributeNamesTest, ReadsTheSectionByLinePosition) {
  const std::string long_name(150, 'L');
  const NamesCase cases[] = {
      {"crlf file",
       "[VE4810VO]\r\nID1=Raw Read Error Rate\r\nID2=Throughput Performance\r\n",
       {{0, "[VE4810VO]"}, {1, "Raw Read Error Rate"}, {2, "Throughput Performance"}}},
      {"lf file and last line without line end",
       "[VE4810VO]\nID1=Raw\nID2=Power",
       {{0, "[VE4810VO]"}, {1, "Raw"}, {2, "Power"}}},
      {"lines before the header are ignored",
       "; names\r\n[Other]\r\nID1=Wrong\r\n[VE4810VO]\r\nID1=Right\r\n",
       {{0, "[VE4810VO]"}, {1, "Right"}}},
      {"only 8 header characters are compared",
       "[VE4810VI]\r\nID1=Accepted\r\n",
       {{0, "[VE4810VI]"}, {1, "Accepted"}}},
      {"header differing in the first 8 characters",
       "[VE4811VO]\r\nID1=Ignored\r\n",
       {{0, "ID1=Ignored"}}},
      {"key skipped by length, never parsed",
       "[VE4810VO]\r\nID9=Nine\r\nXXXXTwo\r\nID1=\r\nID1\r\n\r\n",
       {{0, "[VE4810VO]"}, {1, "Nine"}, {2, "Two"}}},
      {"5-character keys from line 16",
       "[VE4810VO]\r\n" + NameLines(1, 15) + "ID10=Sixteen\r\nIDF=Seventeen\r\n",
       [] {
         std::map<int, std::string> m{{0, "[VE4810VO]"}, {16, "Sixteen"}, {17, "eventeen"}};
         for (int id = 1; id <= 15; ++id) m[id] = "Name" + std::to_string(id);
         return m;
       }()},
      {"over-long line keeps its first 99 characters and shifts nothing",
       "[VE4810VO]\r\nID1=" + long_name + "\r\nID2=Next\r\n",
       {{0, "[VE4810VO]"}, {1, std::string(95, 'L')}, {2, "Next"}}},
      {"utf-8 byte-order mark before the header",
       "\xEF\xBB\xBF[VE4810VO]\r\nID1=Raw\r\n",
       {{0, "[VE4810VO]"}, {1, "Raw"}}},
  };
  for (const NamesCase& c : cases) Check(c);
}

TEST_F(LoadAttributeNamesTest, NameBelongsToItsLineNotItsKey) {
  // The key for 0xC2 on line 194 names 194; one line earlier it names 193.
  for (int line : {194, 193}) {
    std::string content = "[VE4810VO]\r\n" + NameLines(1, line - 1) + "IDC2=Temperature\r\n";
    AttributeNameTable names;
    LoadAttributeNames(dir_.Write("String.ini", content), names);
    EXPECT_STREQ(names[line].data(), "Temperature") << line;
    EXPECT_STREQ(names[line + 1].data(), "") << line;
  }
}

TEST_F(LoadAttributeNamesTest, FillsAtMostEntries1To254) {
  AttributeNameTable names;
  LoadAttributeNames(dir_.Write("String.ini", "[VE4810VO]\r\n" + NameLines(1, 300)), names);
  EXPECT_STREQ(names[1].data(), "Name1");
  EXPECT_STREQ(names[254].data(), "Name254");
  EXPECT_STREQ(names[255].data(), "");
}

// A String.ini that cannot be used leaves every name empty and is named in
// the note for the start-up message; only the lines that hold names are read.
TEST_F(LoadAttributeNamesTest, FileThatCannotBeUsedIsNamed) {
  const std::string names = "[VE4810VO]\r\nID1=Raw\r\n";
  struct Case {
    const char* name;
    std::string content;
    std::string note;  // with the file's path in front
    const char* id1;
  } cases[] = {
      {"readable", names, "", "Raw"},
      {"utf-16", std::string("\xFF\xFE[\0V\0E\0", 8), " is saved as UTF-16 and was not read; save it as ANSI or UTF-8", ""},
      {"too large", names + std::string(kConfigFileMaxBytes, ';'), " is larger than 1024 KB and was not read", ""},
      {"long, but within the limit: read up to the last name",
       names + std::string(kConfigFileMaxBytes - names.size(), 'x'), "", "Raw"},
  };
  for (const Case& c : cases) {
    AttributeNameTable table;
    const std::string path = dir_.Write("String.ini", c.content);
    const std::string note = LoadAttributeNames(path, table);
    EXPECT_EQ(note, c.note.empty() ? "" : path + c.note) << c.name;
    EXPECT_STREQ(table[1].data(), c.id1) << c.name;
  }
}

TEST_F(LoadAttributeNamesTest, MissingFileOrSectionLeavesNamesEmpty) {
  AttributeNameTable names;
  names[5].fill('x');
  LoadAttributeNames(dir_.Path("missing.ini"), names);
  for (const auto& entry : names) EXPECT_STREQ(entry.data(), "");

  Check({"no section", "ID1=Raw\r\nID2=Other\r\n", {{0, "ID2=Other"}}});
}

}  // namespace
}  // namespace dozered
