// Reading the configuration files: lines as a Windows program in text mode
// sees them, files too large or saved as UTF-16 refused with a note naming
// them, and a UTF-8 byte-order mark skipped.
#include "app/config_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace dozered {
namespace {

std::vector<std::string> Lines(const std::filesystem::path& path, size_t limit) {
  ConfigLineReader reader(path);
  std::vector<std::string> lines;
  std::string line;
  while (reader.NextLine(line, limit)) lines.push_back(line);
  return lines;
}

TEST(ConfigLineReaderTest, ReadsLinesAsWindowsTextModeDoes) {
  struct Case {
    const char* name;
    std::string text;
    size_t limit;
    std::vector<std::string> lines;
  } cases[] = {
      {"crlf", "a\r\nbc\r\n", 99, {"a", "bc"}},
      {"lf", "a\nbc\n", 99, {"a", "bc"}},
      {"last line without end", "a\r\nbc", 99, {"a", "bc"}},
      {"last line ending in cr", "a\r\nbc\r", 99, {"a", "bc"}},
      {"empty lines kept", "\r\n\r\nx\r\n", 99, {"", "", "x"}},
      {"empty text", "", 99, {}},
      {"cr inside a line stays", "a\rb\r\n", 99, {"a\rb"}},
      {"over-long line cut, rest dropped", "abcdef\r\nxy\r\n", 4, {"abcd", "xy"}},
      {"line of exactly the limit", "abcd\r\nxy", 4, {"abcd", "xy"}},
      {"one over the limit before cr", "abcde\r\nxy", 4, {"abcd", "xy"}},
      {"utf-8 byte-order mark skipped", "\xEF\xBB\xBF\"Read Flash ID\"\r\n", 99, {"\"Read Flash ID\""}},
      {"only a byte-order mark", "\xEF\xBB\xBF", 99, {}},
  };
  testing::TempDir dir;
  for (const Case& c : cases) {
    const std::string path = dir.Write("a.ini", c.text);
    EXPECT_EQ(Lines(path, c.limit), c.lines) << c.name;
    EXPECT_EQ(ReadConfigText(path).text, c.text.starts_with("\xEF\xBB\xBF") ? c.text.substr(3) : c.text) << c.name;
  }
}

TEST(ConfigLineReaderTest, RefusesWhatIsNotAUsableFile) {
  testing::TempDir dir;
  const std::string utf16le("\xFF\xFE[\0V\0]\0", 8);
  const std::string utf16be("\xFE\xFF\0[\0V", 6);
  const std::string utf16NoMark("[\0V\0E\0", 6);
  struct Case {
    const char* name;
    std::filesystem::path path;
    ConfigFileState state;
    const char* note;
  } cases[] = {
      {"missing", dir.Path("none.ini"), ConfigFileState::kMissing, ""},
      {"a folder", dir.Dir(), ConfigFileState::kUnreadable, "F cannot be read"},
      {"just under the limit", dir.Write("fit.ini", std::string(kConfigFileMaxBytes, 'x')),
       ConfigFileState::kReadable, ""},
      {"over the limit", dir.Write("big.ini", std::string(kConfigFileMaxBytes + 1, 'x')),
       ConfigFileState::kTooLarge, "F is larger than 1024 KB and was not read"},
      {"utf-16 little-endian", dir.Write("le.ini", utf16le), ConfigFileState::kUtf16,
       "F is saved as UTF-16 and was not read; save it as ANSI or UTF-8"},
      {"utf-16 big-endian", dir.Write("be.ini", utf16be), ConfigFileState::kUtf16, nullptr},
      {"utf-16 without a mark", dir.Write("nomark.ini", utf16NoMark), ConfigFileState::kUtf16, nullptr},
  };
  for (const Case& c : cases) {
    ConfigLineReader reader(c.path);
    EXPECT_EQ(reader.State(), c.state) << c.name;
    EXPECT_EQ(ReadConfigText(c.path).state, c.state) << c.name;
    if (c.note != nullptr) {
      EXPECT_EQ(ConfigFileNote(c.state, "F"), c.note) << c.name;
    }
    if (c.state != ConfigFileState::kReadable) {
      std::string line;
      EXPECT_FALSE(reader.NextLine(line, 99)) << c.name;
      EXPECT_TRUE(ReadConfigText(c.path).text.empty()) << c.name;
    }
  }
}

}  // namespace
}  // namespace dozered
