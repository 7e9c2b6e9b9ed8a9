#include "app/text_file.h"

#include <gtest/gtest.h>

#include <iterator>

#include "support/temp_dir.h"

namespace dozered {
namespace {

struct SplitCase {
  const char* name;
  std::string text;
  std::size_t limit;
  std::vector<std::string> lines;
};

TEST(SplitTextLinesTest, ReadsLinesAsWindowsTextModeDoes) {
  const SplitCase cases[] = {
      {"crlf", "a\r\nbc\r\n", 99, {"a", "bc"}},
      {"lf", "a\nbc\n", 99, {"a", "bc"}},
      {"last line without end", "a\r\nbc", 99, {"a", "bc"}},
      {"last line ending in cr", "a\r\nbc\r", 99, {"a", "bc"}},
      {"empty lines kept", "\r\n\r\nx\r\n", 99, {"", "", "x"}},
      {"empty text", "", 99, {}},
      {"cr inside a line stays", "a\rb\r\n", 99, {"a\rb"}},
      {"over-long line cut, rest dropped", "abcdef\r\nxy\r\n", 4, {"abcd", "xy"}},
      {"line of exactly the limit", "abcd\r\nxy", 4, {"abcd", "xy"}},
  };
  for (const SplitCase& c : cases) {
    EXPECT_EQ(SplitTextLines(c.text, c.limit), c.lines) << c.name;
  }
}

TEST(ReadTextLinesTest, MissingFileFails) {
  testing::TempDir dir;
  std::vector<std::string> lines;
  EXPECT_FALSE(ReadTextLines(dir.Path("none.ini"), kConfigLineLimit, lines));
  EXPECT_TRUE(ReadTextLines(dir.Write("a.ini", "x\r\n"), kConfigLineLimit, lines));
  EXPECT_EQ(lines, std::vector<std::string>{"x"});
}

}  // namespace
}  // namespace dozered
