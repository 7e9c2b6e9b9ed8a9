#include "app/caption.h"

#include <gtest/gtest.h>

#include "app/app_state.h"
#include "app/paths.h"

namespace dozered {
namespace {

TEST(CaptionTest, ShowsThreeVersionNumbers) {
  EXPECT_EQ(FormatCaption(1, 3, 14), "Dozered V1.3.14 VE4810VO");
  EXPECT_EQ(FormatCaption(65535, 0, 7), "Dozered V65535.0.7 VE4810VO");
  EXPECT_EQ(MainWindowCaption(), "Dozered V1.3.14 VE4810VO");
}

TEST(PathsTest, FilesBesideTheExecutableAndInTheWorkingDirectory) {
  AppState state;
  state.ExecutableDir = "/opt/dozered";
  EXPECT_EQ(PathBesideExecutable(state, "CIDTable.ini").generic_string(), "/opt/dozered/CIDTable.ini");
  state.ExecutableDir = "/opt/dozered/";
  EXPECT_EQ(PathBesideExecutable(state, "CIDTable.ini").generic_string(), "/opt/dozered/CIDTable.ini");
  EXPECT_EQ(PathInWorkingDirectory("TabSheet.ini"), "TabSheet.ini");
}

}  // namespace
}  // namespace dozered
