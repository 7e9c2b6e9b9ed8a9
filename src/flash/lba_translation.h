// LBA to physical translation: where the controller keeps the data of a
// logical block address (block, page, sector, plane, interleave, channel, CE).
//
// Two operations send TranslateLba:
//   - the "L2P mapping" page lists the ten values of the answer;
//   - the LBA mode of the Flash RW page turns the answer into the page's
//     address fields and, through the settings dialog's selections and its
//     "OK" action, into the option bytes, so that the next read shows the
//     physical page that holds the LBA.
// On a drive under its normal firmware both load DgISP_TranLba2Pba.bin first.
//
//   L2pOutcome out = TranslateLbaForList(state, feedback, "4096");
//   for (const L2pRow& row : out.Rows) list.add(row.Item, row.Data);
//
//   HeadlessSettingsDialog dialog(state, feedback);   // or the real dialog
//   FlashOutcome read = TranslateLbaForFlashRw(state, feedback, fields, dialog);
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/app_state.h"
#include "app/feedback.h"
#include "app/settings.h"
#include "flash/flash_operation.h"
#include "flash/flash_rw.h"

namespace dozered {

inline constexpr char kTranslationFileMissingText[] = "It can't open DgISP_TranLba2Pba.bin file";
inline constexpr char kTranslationCompleteText[] = "Complete";
inline constexpr char kLbaDoesNotExistText[] = "LBA does not exits";
inline constexpr char kTranslateLbaFailFormat[] = "Translate LBA fail(%d)";
inline constexpr char kTranslateLbaStatusFormat[] = "Translate LBA answered 0x%04X";
inline constexpr char kLbaTooLargeFormat[] = "LBA %s is larger than 4294967295";
inline constexpr char kLbaNotAvailableText[] = "N/A";

// Characters of an LBA field that are read.
inline constexpr size_t kLbaFieldChars = 10;

// The status word of the answer.
inline constexpr uint16_t kLbaTranslated = 0x5555;
inline constexpr uint16_t kLbaDoesNotExist = 0xAAAA;

// The answer's words 1 to 10 and the names the list shows for them.
enum class L2pWord {
  kFBlock = 1,
  kDiffType,
  kFPage,
  kSectorH,
  kPlaneAddr,
  kInterleaveAddr,
  kDiffOffset,
  kLsbOnly,
  kChannel,
  kCe,
};
inline constexpr int kL2pValueCount = 10;
inline constexpr const char* kL2pItemNames[kL2pValueCount] = {
    "FBlock", "DiffType", "FPage", "SectorH", "Plane Addr", "Interleave Addr", "DiffOffset", "LSB Only",
    "Channel", "CE"};

// The answer of TranslateLba read as 16-bit little-endian words.
struct LbaTranslation {
  uint16_t Status = 0;
  std::array<uint16_t, kL2pValueCount> Values{};  // words 1 to 10
  uint16_t Value(L2pWord word) const { return Values[static_cast<size_t>(word) - 1]; }
};
// `answer` holds at least 22 bytes.
LbaTranslation ReadLbaTranslation(std::span<const uint8_t> answer);

// An LBA field's text as the LBA sent: decimal digits from the start of the
// first 10 characters (leading spaces skipped, reading stops at the first
// other character; no digit is LBA 0). Nothing when the value needs more than
// 32 bits: such an LBA is refused, never sent cut short.
std::optional<uint32_t> ParseLbaText(std::string_view text);
std::string LbaTooLargeText(std::string_view text);

// One row of LV_L2P: "Item" and "Data" ("0x%04X").
struct L2pRow {
  std::string Item;
  std::string Data;
};

struct L2pOutcome : FlashOutcome {
  std::vector<L2pRow> Rows;  // what LV_L2P lists (it was emptied before)
};

// The translation of the "L2P mapping" page (BTN_L2P) for the text of
// EDT_L2P_LBA. The page empties LV_L2P before. With no drive selected nothing
// happens. DgISP_TranLba2Pba.bin must lie beside the executable (else a
// message box, and the translation ends). The drive is opened ("Access
// device fail" when it cannot be) and, in CardMode 2, the program loaded.
// A translated LBA gives ten rows and "Complete"; 0xAAAA gives "LBA does not
// exits"; a failed command or another status word is reported too.
L2pOutcome TranslateLbaForList(AppState& state, Feedback& feedback, const std::string& lbaText);

// The settings dialog as the Flash RW translation uses it, without showing
// it. The real dialog implements it with its widgets; HeadlessSettingsDialog
// with the settings logic alone.
class SettingsDialogAccess {
 public:
  virtual ~SettingsDialogAccess() = default;
  // Selects item `plane` of CMBB_PlaneSwitch, `interleave` of CMBB_IntlvOddA
  // and `channel` of CMBB_ChannelSelectin.
  virtual void SelectItems(int plane, int interleave, int channel) = 0;
  // ApplySettings: recomputes FlashOption and FlashChCe from all the dialog's
  // controls and, when they convert, sets SettingsAccepted.
  virtual void ApplySettings() = 0;
};

// The dialog's controls as LoadSettings last set them from the two bytes, for
// front ends without the dialog. A conversion error is shown as the dialog
// shows it.
class HeadlessSettingsDialog : public SettingsDialogAccess {
 public:
  HeadlessSettingsDialog(AppState& state, Feedback& feedback);
  void SelectItems(int plane, int interleave, int channel) override;
  void ApplySettings() override;
  const SettingsControls& Controls() const { return controls_; }

 private:
  AppState& state_;
  Feedback& feedback_;
  SettingsControls controls_;
};

// The text a selection box shows for item `index` of `items` items ("" when
// there is no such item).
std::string SelectionItemText(int index, int items);

// What the LBA box (L2PChkBox) switches on the Flash RW page.
struct LbaModeControls {
  bool LbaFieldEnabled = false;  // EDT_LBAIn
  bool ButtonEnabled = false;    // BTN_LtoP
  // The block, page and chunk fields and the block, chunk, page, channel,
  // interleave and plane steppers.
  bool AddressEnabled = true;
};

// A click on the LBA box: checked, EDT_LBAIn takes "0"; unchecked, "N/A".
// The address fields keep their texts either way.
LbaModeControls SetLbaMode(FlashRwFields& fields, bool checked);

// The translation of the Flash RW page (BTN_LtoP) for the text of EDT_LBAIn.
// The page empties LV_L2P before. In CardMode 2 the program is read; the
// drive is opened ("Access device fail" when it cannot be) and the program
// sent. A translated LBA ("Complete") fills the block, page and chunk fields
// and selects the plane, interleave and channel in the settings dialog;
// 0xAAAA gives "LBA does not exits". Whatever the answer, the dialog's "OK"
// action then runs without showing it, and when it is accepted the option
// fields show the bytes; a changed option field reads the page, whose views
// the outcome carries.
FlashOutcome TranslateLbaForFlashRw(AppState& state, Feedback& feedback, FlashRwFields& fields,
                                    SettingsDialogAccess& dialog);

}  // namespace dozered
