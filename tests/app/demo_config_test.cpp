// The configuration files the demo starts with.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "app/attribute_names.h"
#include "app/page_list.h"
#include "app/paths.h"
#include "support/file_bytes.h"

namespace dozered {
namespace {

std::string DemoFile(const char* name) { return (std::filesystem::path(DOZERED_DEMO_DIR) / name).string(); }

std::string Bytes(const std::string& path) {
  std::string bytes;
  testing::ReadFileBytes(path, bytes);
  return bytes;
}

TEST(DemoConfigTest, FilesHaveWindowsLineEnds) {
  for (const char* name : {"String.ini", "TabSheet.ini"}) {
    const std::string text = Bytes(DemoFile(name));
    ASSERT_FALSE(text.empty()) << name;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\n') {
        ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << name << " at byte " << i;
      }
    }
  }
}

TEST(DemoConfigTest, StringIniNamesAttributesByTheirIds) {
  AttributeNameTable names;
  LoadAttributeNames(DemoFile("String.ini"), names);
  EXPECT_STREQ(names[0x01].data(), "Raw Read Error Rate");
  EXPECT_STREQ(names[0x09].data(), "Power-On Hours");
  EXPECT_STREQ(names[0x0C].data(), "Power Cycle Count");
  EXPECT_STREQ(names[0xAD].data(), "Wear Leveling Count");
  EXPECT_STREQ(names[0xC2].data(), "Temperature");
  EXPECT_STREQ(names[0xF1].data(), "Total LBAs Written");
  for (const auto& entry : names) EXPECT_EQ(std::strchr(entry.data(), '\r'), nullptr);
}

TEST(DemoConfigTest, TabSheetIniListsEveryPage) {
  std::array<uint8_t, kPageCount> enabled{};
  PageListLayout layout = LoadPageList(DemoFile("TabSheet.ini"), enabled, nullptr);
  for (int p = 0; p < kPageCount; ++p) EXPECT_EQ(layout.TabVisible[p], p != 6) << p;
  EXPECT_TRUE(layout.ChunkEccButtonVisible);
  EXPECT_EQ(layout.ActivePage, 0);
}

}  // namespace
}  // namespace dozered
