// Messages for result codes: the codes that may leave vendor data in a
// user's sector name the LBA; every other code is the number alone.
#include "protocol/result_text.h"

#include <gtest/gtest.h>

#include "protocol/result_codes.h"

namespace dozered {
namespace {

TEST(ResultTextTest, CodesThatTouchTheUsersSectorNameItsLba) {
  struct Case {
    int32_t code;
    uint32_t commandAddress;
    const char* message;
  } cases[] = {
      {kResultSuccess, 0x55AA, "Read flash fail(0)"},
      {kResultDataPhaseFailed, 0x55AA, "Read flash fail(-7)"},
      {kResultSaveReadFailed, 0x55AA, "Read flash fail(-8)"},
      {kResultRestoreFailed, 0x55AA,
       "Read flash fail(-13) LBA 0x55AA could not be written back: from there on the drive may hold "
       "vendor command data instead of your data."},
      {kResultCommandAddressUnknown, 0x0789,
       "Read flash fail(-14) LBA 0x0789 could not be read back: it may hold a vendor command block "
       "instead of your data."},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatResultMessage("Read flash fail(%d)", c.code, c.commandAddress), c.message);
  }
  EXPECT_EQ(ResultCodeNote(kResultOpenFailed, 0x55AA), "");
}

}  // namespace
}  // namespace dozered
