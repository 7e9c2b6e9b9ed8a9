#include "app/app_state.h"

#include <gtest/gtest.h>

namespace dozered {
namespace {

TEST(AppStateTest, StartsWithNoDriveSelectedAndDefaultOptionBytes) {
  auto state = std::make_unique<AppState>();
  EXPECT_EQ(state->SelectedDevice, -1);
  EXPECT_EQ(state->DeviceCount, 0);
  EXPECT_EQ(state->FlashOption, 0x21);
  EXPECT_EQ(state->FlashChCe, 0x00);
}

}  // namespace
}  // namespace dozered
