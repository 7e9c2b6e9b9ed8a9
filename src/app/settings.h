// The settings dialog's logic: the two option bytes FlashOption and FlashChCe
// turned into the states of the dialog's controls and back. The dialog only
// binds its widgets to these functions.
#pragma once

#include <cstdint>
#include <string>

namespace dozered {

// Item indexes of the two-item radio groups. Every group lists its items in
// the order the dialog shows them; kNoItem is a group with nothing checked.
inline constexpr int kNoItem = -1;
inline constexpr int kItemDisable = 0;
inline constexpr int kItemEnable = 1;
inline constexpr int kItemForceOnePlane = 0;
inline constexpr int kItemMultiPlane = 1;

// The state of the settings dialog's controls. The three selection boxes are
// held as their texts (the text, not the selected item, is what "OK" reads);
// the radio groups as the index of their checked item.
struct SettingsControls {
  std::string IntlvOddA = "0";
  std::string ChannelSelectin = "0";
  std::string PlaneSwitch = "0";
  int StrongPage = kItemDisable;
  int ReadSpr = kItemDisable;
  int PlaneMode = kItemForceOnePlane;
  int EccModeSwitch = kItemDisable;
  int Scramble = kItemDisable;
  int TlcReadRetry = kItemDisable;
  int EnMaxECC = kItemDisable;
};

// What the dialog shows for the two bytes: the item index of each selection
// box (interleave 0-7, channel 0-3, plane 0-3; a value without an item
// selects item 0) and the checked item of each radio group.
struct SettingsSelection {
  int IntlvOddAIndex = 0;
  int ChannelSelectinIndex = 0;
  int PlaneSwitchIndex = 0;
  SettingsControls Controls;
};

inline constexpr int kIntlvOddAItemCount = 8;
inline constexpr int kChannelSelectinItemCount = 4;
inline constexpr int kPlaneSwitchItemCount = 4;

// LoadSettings: the controls' states for the given bytes.
SettingsSelection SettingsFromBytes(uint8_t flashOption, uint8_t flashChCe);

enum class SettingsApplyResult {
  Ok,                    // both bytes stored
  IntlvOrChannelInvalid, // nothing stored
  PlaneInvalid,          // FlashChCe stored, FlashOption unchanged
};

struct SettingsApplyOutcome {
  SettingsApplyResult Result = SettingsApplyResult::Ok;
  std::string BadText;  // the text that failed to convert
};

// ApplySettings: rebuilds the bytes from the controls. The channel and
// interleave texts are converted first; when one of them is not a decimal
// number nothing is stored. A plane text that is not a decimal number fails
// after FlashChCe has been stored. Values are kept to the byte: a typed
// channel or interleave digit above the list carries into the next field
// (channel 9 gives 0x09), a plane value above 3 loses its high bits.
SettingsApplyOutcome ApplySettingsToBytes(const SettingsControls& controls, uint8_t& flashOption,
                                          uint8_t& flashChCe);

// Reads a selection box text as a decimal number: one or more digits, nothing
// else. Returns false for an empty text or any other character.
bool ParseSettingsNumber(const std::string& text, int& value);

}  // namespace dozered
