// The folder a drive names for its files: only a plain folder name beside
// the executable is taken.
#include "app/paths.h"

#include <gtest/gtest.h>

#include <cstring>

#include "app/app_state.h"

namespace dozered {
namespace {

TEST(IsPlainFolderNameTest, TakesOnlyOneFolderBelowAnother) {
  struct Case {
    std::string name;
    bool plain;
  } cases[] = {
      {"V126", true},
      {"VE4810VO_ISP", true},
      {"V1.2", true},
      {"P0A", true},
      {"", true},  // the folder itself
      {".", false},
      {"..", false},
      {"...", false},
      {"../../../x", false},
      {"..\\..\\x", false},
      {"a/b", false},
      {"/etc", false},
      {"\\\\host\\share", false},
      {"C:", false},
      {"C:x", false},
      {"V126:stream", false},
      {"V126.", false},  // Windows drops the dot
      {"V126 ", false},
      {"CON", false},
      {"con", false},
      {"NUL.txt", false},
      {"COM1", false},
      {"LPT9", false},
      {"COMX", true},
      {"CONSOLE", true},
      {std::string("V1\x01", 3), false},
      {std::string("V1\x7F", 3), false},
      {"V\xE9", false},
      {"a*b", false},
      {"a?b", false},
      {"a|b", false},
      {"a\"b", false},
      {"a<b>", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsPlainFolderName(c.name), c.plain) << c.name;
}

TEST(DriveFolderForTest, TheDrivesFolderOrNoneWhenItNamesAnotherPlace) {
  struct Case {
    const char* folder;
    const char* tail;
    const char* firmware;
    const char* path;  // nullptr: no folder
  } cases[] = {
      {"V126", "VE01", "VO1.26A0", "exe/V126"},
      {"V10", "SNDK", "P0A10V10", "exe/V10/P0A"},
      {"V10", "SNDK", "P/.10V10", nullptr},  // the revision's folder comes from the drive too
      {"../../x", "VE01", "VO1", nullptr},
      {"/etc", "VE01", "VO1", nullptr},
      {"C:\\", "VE01", "VO1", nullptr},
  };
  for (const Case& c : cases) {
    AppState state;
    state.ExecutableDir = "exe";
    std::memcpy(state.IspInfoTable[0].data() + 404, c.folder, std::strlen(c.folder));
    std::memcpy(state.IspInfoTable[0].data() + 416, c.tail, 4);
    for (size_t i = 0; i < std::strlen(c.firmware); ++i) {
      state.IdentifyTable[0][46 + (i ^ 1)] = static_cast<uint8_t>(c.firmware[i]);
    }
    const auto folder = DriveFolderFor(state, 0);
    if (c.path == nullptr) {
      EXPECT_FALSE(folder) << c.folder << " " << c.firmware;
    } else {
      ASSERT_TRUE(folder) << c.folder;
      EXPECT_EQ(folder->generic_string(), c.path);
    }
  }
}

}  // namespace
}  // namespace dozered
