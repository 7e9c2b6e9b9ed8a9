#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "app/app_state.h"
#include "protocol/ve4810vo.h"

namespace dozered {
namespace {

bool IdEquals(const uint8_t (&id)[kSignatureSize], const char* text) {
  return std::memcmp(id, text, kSignatureSize) == 0;
}

TEST(ControllerIdentityTest, ConstructedControllerAcceptsOnlyItsOwnSignature) {
  VE4810VO c;
  EXPECT_TRUE(IdEquals(c.Identification1, "VE4810VO"));
  EXPECT_TRUE(IdEquals(c.Identification2, "VE4810VO"));
  EXPECT_EQ(c.SignatureOffset, 46);
  EXPECT_EQ(c.SignatureLength, 8);
  EXPECT_EQ(c.CommandAddress, 0x55AAu);
  EXPECT_FALSE(c.IsDetected());
  EXPECT_EQ(c.LastSignatureText(), "");

  c.SetVariantSignature(true);
  EXPECT_TRUE(IdEquals(c.Identification1, "VE4810VO"));
  EXPECT_TRUE(IdEquals(c.Identification2, "VE4810VI"));
  c.SetVariantSignature(false);
  EXPECT_TRUE(IdEquals(c.Identification2, "VE4810VO"));
}

TEST(ControllerIdentityTest, AppStateHoldsEightUndetectedControllersAndNoCurrentOne) {
  auto state = std::make_unique<AppState>();
  EXPECT_EQ(state->Controllers.size(), 8u);
  for (const auto& c : state->Controllers) EXPECT_FALSE(c.IsDetected());
  EXPECT_EQ(state->CurrentController, nullptr);
}

}  // namespace
}  // namespace dozered
