#include "app/settings.h"

namespace dozered {

namespace {

int ItemFor(bool bitSet, int itemWhenSet, int itemWhenClear) { return bitSet ? itemWhenSet : itemWhenClear; }

int IndexOrZero(int value, int itemCount) { return value >= 0 && value < itemCount ? value : 0; }

}  // namespace

SettingsSelection SettingsFromBytes(uint8_t flashOption, uint8_t flashChCe) {
  SettingsSelection s;
  s.IntlvOddAIndex = IndexOrZero((flashChCe >> 3) & 0x07, kIntlvOddAItemCount);
  s.ChannelSelectinIndex = IndexOrZero(flashChCe & 0x07, kChannelSelectinItemCount);
  s.PlaneSwitchIndex = IndexOrZero((flashOption >> 6) & 0x03, kPlaneSwitchItemCount);

  SettingsControls& c = s.Controls;
  c.IntlvOddA = std::to_string(s.IntlvOddAIndex);
  c.ChannelSelectin = std::to_string(s.ChannelSelectinIndex);
  c.PlaneSwitch = std::to_string(s.PlaneSwitchIndex);
  c.Scramble = ItemFor(flashOption & 0x01, kItemEnable, kItemDisable);
  c.EccModeSwitch = ItemFor(flashOption & 0x02, kItemDisable, kItemEnable);
  c.PlaneMode = ItemFor(flashOption & 0x04, kItemForceOnePlane, kItemMultiPlane);
  c.ReadSpr = ItemFor(flashOption & 0x08, kItemDisable, kItemEnable);
  c.StrongPage = ItemFor(flashOption & 0x10, kItemEnable, kItemDisable);
  c.TlcReadRetry = ItemFor(flashOption & 0x20, kItemEnable, kItemDisable);
  c.EnMaxECC = ItemFor(flashChCe & 0x40, kItemEnable, kItemDisable);
  return s;
}

bool ParseSettingsNumber(const std::string& text, int& value) {
  if (text.empty() || text.size() > 6) return false;
  int v = 0;
  for (char ch : text) {
    if (ch < '0' || ch > '9') return false;
    v = v * 10 + (ch - '0');
  }
  value = v;
  return true;
}

SettingsApplyOutcome ApplySettingsToBytes(const SettingsControls& controls, uint8_t& flashOption,
                                          uint8_t& flashChCe) {
  SettingsApplyOutcome out;
  int channel = 0;
  int interleave = 0;
  if (!ParseSettingsNumber(controls.ChannelSelectin, channel)) {
    out.Result = SettingsApplyResult::IntlvOrChannelInvalid;
    out.BadText = controls.ChannelSelectin;
    return out;
  }
  if (!ParseSettingsNumber(controls.IntlvOddA, interleave)) {
    out.Result = SettingsApplyResult::IntlvOrChannelInvalid;
    out.BadText = controls.IntlvOddA;
    return out;
  }
  uint8_t chce = static_cast<uint8_t>((channel + 8 * interleave) & 0xFF);
  if (controls.EnMaxECC == kItemEnable) {
    chce = static_cast<uint8_t>(chce | 0x40);
  } else {
    chce = static_cast<uint8_t>(chce & ~0x40);
  }
  flashChCe = chce;

  int plane = 0;
  if (!ParseSettingsNumber(controls.PlaneSwitch, plane)) {
    out.Result = SettingsApplyResult::PlaneInvalid;
    out.BadText = controls.PlaneSwitch;
    return out;
  }
  uint8_t option = static_cast<uint8_t>((plane * 64) & 0xFF);
  if (controls.Scramble == kItemEnable) option |= 0x01;
  if (controls.EccModeSwitch == kItemDisable) option |= 0x02;
  if (controls.PlaneMode == kItemForceOnePlane) option |= 0x04;
  if (controls.ReadSpr == kItemDisable) option |= 0x08;
  if (controls.StrongPage == kItemEnable) option |= 0x10;
  if (controls.TlcReadRetry == kItemEnable) option |= 0x20;
  flashOption = option;
  return out;
}

}  // namespace dozered
