#include "app/settings.h"

#include <gtest/gtest.h>

namespace dozered {
namespace {

SettingsControls StartupControls() { return SettingsFromBytes(0x21, 0x00).Controls; }

TEST(SettingsFromBytesTest, StartupValuesShowTheDocumentedControls) {
  SettingsSelection s = SettingsFromBytes(0x21, 0x00);
  EXPECT_EQ(s.IntlvOddAIndex, 0);
  EXPECT_EQ(s.ChannelSelectinIndex, 0);
  EXPECT_EQ(s.PlaneSwitchIndex, 0);
  EXPECT_EQ(s.Controls.Scramble, kItemEnable);
  EXPECT_EQ(s.Controls.EccModeSwitch, kItemEnable);
  EXPECT_EQ(s.Controls.PlaneMode, kItemMultiPlane);
  EXPECT_EQ(s.Controls.ReadSpr, kItemEnable);
  EXPECT_EQ(s.Controls.StrongPage, kItemDisable);
  EXPECT_EQ(s.Controls.TlcReadRetry, kItemEnable);
  EXPECT_EQ(s.Controls.EnMaxECC, kItemDisable);
}

TEST(SettingsFromBytesTest, SelectsItemsFromTheFields) {
  SettingsSelection s = SettingsFromBytes(0xFF, 0x6A);
  EXPECT_EQ(s.IntlvOddAIndex, 5);
  EXPECT_EQ(s.ChannelSelectinIndex, 2);
  EXPECT_EQ(s.PlaneSwitchIndex, 3);
  EXPECT_EQ(s.Controls.IntlvOddA, "5");
  EXPECT_EQ(s.Controls.ChannelSelectin, "2");
  EXPECT_EQ(s.Controls.PlaneSwitch, "3");
  EXPECT_EQ(s.Controls.EnMaxECC, kItemEnable);
  EXPECT_EQ(s.Controls.PlaneMode, kItemForceOnePlane);
  EXPECT_EQ(s.Controls.EccModeSwitch, kItemDisable);
  EXPECT_EQ(s.Controls.ReadSpr, kItemDisable);
}

TEST(SettingsFromBytesTest, ChannelWithoutAnItemSelectsItemZero) {
  for (uint8_t ch = 4; ch < 8; ++ch) EXPECT_EQ(SettingsFromBytes(0x21, ch).ChannelSelectinIndex, 0) << int(ch);
}

// Every byte pair whose channel has an item survives a round trip through
// the controls.
TEST(SettingsRoundTripTest, LoadThenApplyGivesTheBytesBack) {
  for (int opt = 0; opt < 256; ++opt) {
    for (int chce = 0; chce < 128; ++chce) {
      if ((chce & 0x07) > 3) continue;
      uint8_t o = 0;
      uint8_t c = 0;
      SettingsApplyOutcome r = ApplySettingsToBytes(SettingsFromBytes(uint8_t(opt), uint8_t(chce)).Controls, o, c);
      ASSERT_EQ(r.Result, SettingsApplyResult::Ok);
      ASSERT_EQ(o, opt);
      ASSERT_EQ(c, chce);
    }
  }
}

struct ApplyCase {
  const char* name;
  SettingsControls controls;
  uint8_t option;
  uint8_t chce;
};

SettingsControls With(void (*change)(SettingsControls&)) {
  SettingsControls c = StartupControls();
  change(c);
  return c;
}

class ApplySettingsTest : public ::testing::TestWithParam<ApplyCase> {};

TEST_P(ApplySettingsTest, BuildsTheBytes) {
  const ApplyCase& tc = GetParam();
  uint8_t o = 0x5A;
  uint8_t c = 0x5A;
  SettingsApplyOutcome r = ApplySettingsToBytes(tc.controls, o, c);
  EXPECT_EQ(r.Result, SettingsApplyResult::Ok);
  EXPECT_EQ(o, tc.option);
  EXPECT_EQ(c, tc.chce);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, ApplySettingsTest,
    ::testing::Values(
        ApplyCase{"Startup", StartupControls(), 0x21, 0x00},
        ApplyCase{"Channel2Intlv5MaxEcc", With([](SettingsControls& c) {
                    c.ChannelSelectin = "2";
                    c.IntlvOddA = "5";
                    c.EnMaxECC = kItemEnable;
                  }),
                  0x21, 0x6A},
        ApplyCase{"EveryBitSet", With([](SettingsControls& c) {
                    c.PlaneSwitch = "3";
                    c.Scramble = kItemEnable;
                    c.StrongPage = kItemEnable;
                    c.TlcReadRetry = kItemEnable;
                    c.EccModeSwitch = kItemDisable;
                    c.ReadSpr = kItemDisable;
                    c.PlaneMode = kItemForceOnePlane;
                  }),
                  0xFF, 0x00},
        ApplyCase{"TypedChannel9CarriesIntoInterleave", With([](SettingsControls& c) { c.ChannelSelectin = "9"; }),
                  0x21, 0x09},
        ApplyCase{"TypedInterleave8IsOverwrittenByMaxEcc", With([](SettingsControls& c) { c.IntlvOddA = "8"; }),
                  0x21, 0x00},
        ApplyCase{"TypedPlane5KeepsTheLowBitsOfTheByte", With([](SettingsControls& c) { c.PlaneSwitch = "5"; }),
                  0x61, 0x00},
        ApplyCase{"NoItemCheckedGivesZero", With([](SettingsControls& c) {
                    c.Scramble = c.EccModeSwitch = c.PlaneMode = c.ReadSpr = c.StrongPage = c.TlcReadRetry =
                        c.EnMaxECC = kNoItem;
                  }),
                  0x00, 0x00}),
    [](const ::testing::TestParamInfo<ApplyCase>& info) { return std::string(info.param.name); });

TEST(SettingsFromBytesTest, Channel9ReadsBackAsChannel1Interleave1) {
  SettingsSelection s = SettingsFromBytes(0x21, 0x09);
  EXPECT_EQ(s.ChannelSelectinIndex, 1);
  EXPECT_EQ(s.IntlvOddAIndex, 1);
}

TEST(ApplySettingsFailureTest, ChannelOrInterleaveTextStoresNothing) {
  for (const char* bad : {"", "a", " ", "-"}) {
    for (bool channel : {true, false}) {
      SettingsControls c = StartupControls();
      (channel ? c.ChannelSelectin : c.IntlvOddA) = bad;
      c.PlaneSwitch = "2";
      uint8_t o = 0x33;
      uint8_t chce = 0x44;
      SettingsApplyOutcome r = ApplySettingsToBytes(c, o, chce);
      EXPECT_EQ(r.Result, SettingsApplyResult::IntlvOrChannelInvalid);
      EXPECT_EQ(r.BadText, bad);
      EXPECT_EQ(o, 0x33);
      EXPECT_EQ(chce, 0x44);
    }
  }
}

TEST(ApplySettingsFailureTest, PlaneTextStoresFlashChCeOnly) {
  SettingsControls c = StartupControls();
  c.ChannelSelectin = "3";
  c.EnMaxECC = kItemEnable;
  c.PlaneSwitch = "x";
  uint8_t o = 0x33;
  uint8_t chce = 0x00;
  SettingsApplyOutcome r = ApplySettingsToBytes(c, o, chce);
  EXPECT_EQ(r.Result, SettingsApplyResult::PlaneInvalid);
  EXPECT_EQ(r.BadText, "x");
  EXPECT_EQ(o, 0x33);
  EXPECT_EQ(chce, 0x43);
}

}  // namespace
}  // namespace dozered
