// The operations of the "Flash RW" page: read, write and erase one flash
// page or a run of pages, fill or load the page buffer, the option settings,
// the steppers and the two field-change rules.
//
// Every operation takes the page's field texts (FlashRwFields), works on
// AppState (FlashPageBuffer, FlashOption, FlashChCe, the selected drive),
// talks back through Feedback and returns what the views must show. An
// operation that changes fields (steppers, Set, Open File, entering the page)
// changes them in the FlashRwFields it is given; the page then shows them.
// The page's widgets do nothing else, so the headless front end gets the same
// behaviour by calling the same functions.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "app/app_state.h"
#include "app/feedback.h"
#include "flash/flash_fields.h"
#include "flash/flash_operation.h"

namespace dozered {

inline constexpr char kReadFlashSuccessText[] = "Read flash successful";
inline constexpr char kReadFlashFailFormat[] = "Read flash fail(%d)";
inline constexpr char kSetFlashClockFailFormat[] = "Set flash clock fail(%d)";
inline constexpr char kEraseFlashSuccessText[] = "Erase flash successful";
inline constexpr char kEraseFlashFailFormat[] = "Erase flash fail(%d)";
inline constexpr char kOpenFileFirstText[] = "Please 'Open File' first!";
inline constexpr char kMultiPageFailText[] = "Multi-page setting fail";
inline constexpr char kFlashAccessDeviceFailText[] = "Access device fail";
inline constexpr char kWriteFlashFailFormat[] = "Write flash fail(%d)--Page: 0x%04X";
inline constexpr char kMappingFileFailFormat[] = "Mapping file fail--Page: 0x%04X";
inline constexpr char kWriteFlashSuccessText[] = "Write flash successful";

// The texts and states of the page's fields. The address fields (block,
// page, chunk, option, channel/CE, "Sectors:") are the base.
struct FlashRwFields : FlashAddressFields {
  // Block, Page, Chunk: EDT_FlashRWBlock, EDT_FlashRWPage, EDT_FlashRWChunk.
  // Option, ChCe: EDT_FlashRWOption0, EDT_FlashRWchce.
  // SectorIndex: the item of CMBB_FlashRW_Sector.
  std::string PlaneText = "00";       // STIC_FlashRWPlane
  std::string ChannelText = "00";     // STIC_FlashRWCH
  std::string InterleaveText = "00";  // STIC_FlashRWCE
  bool MultiPage = false;             // CHKB_FlashRW_MPProg
  std::string PageCount = "1";        // EDT_FlashRWMutiPageWrite
  bool FileMapping = false;           // CHKB_FlashRW_FileMap
  std::filesystem::path MappingFile;  // EDT_FlashRWFileMappingName (empty until Open File)
  std::string FillData = "00";        // EDT_FlashRWFillData
  bool TransferRate = false;          // CHKB_FlashClock
  std::string TransferRateText = "1";  // EDT_FlashClock
  // The fields of the other operations on the page.
  bool LbaMode = false;              // L2PChkBox
  std::string LbaIn = "N/A";         // EDT_LBAIn
  std::string DistributionStep = "3";  // EDT_Offset, beside "Read Distribution"
};

// Read: with the transfer rate box checked, SetFlashClock first; then
// ReadFlash of N sectors at the fields' address. On success FlashPageBuffer
// holds the page and the outcome the dump of its data (raw view) and of its
// spare sector (spare view). A failed read leaves FlashPageBuffer and both
// views as they were.
FlashOutcome FlashRwRead(AppState& state, Feedback& feedback, const FlashRwFields& fields);

// Write: D sectors of FlashPageBuffer to the page of the fields, or to the
// pages of a multi-page run, each from the mapped image file when file
// mapping is on. A failure stops the run at that page; the pages before it
// stay written.
FlashOutcome FlashRwWrite(AppState& state, Feedback& feedback, const FlashRwFields& fields);

// Erase: EraseFlash at the fields' address. The views and FlashPageBuffer
// are left as they are, so that the buffer shown can be written afterwards.
FlashOutcome FlashRwErase(AppState& state, Feedback& feedback, const FlashRwFields& fields);

// Fill Data: the first N x 512 bytes of FlashPageBuffer take the fill byte;
// the raw view shows all of them (spare sector included), the spare view is
// emptied. Needs no drive and reports nothing.
FlashOutcome FlashRwFillData(AppState& state, const FlashRwFields& fields);

// Open File with the file the user picked (empty: the dialog was cancelled).
// FlashPageBuffer is cleared and takes up to N x 512 bytes from the start of
// the file; the raw view shows N x 512 bytes, the spare view is emptied, and
// the file becomes the mapping file. A file that cannot be read changes
// nothing.
FlashOutcome FlashRwOpenFile(AppState& state, FlashRwFields& fields, const std::filesystem::path& file);

// Set: shows the settings dialog (`showSettingsDialog` returns when it is
// closed; "OK" sets SettingsAccepted and the two bytes). When it was accepted
// the option fields and displays show the bytes, and a changed option field
// reads the page.
FlashOutcome FlashRwSet(AppState& state, Feedback& feedback, FlashRwFields& fields,
                        const std::function<void()>& showSettingsDialog);

enum class FlashRwStepper { kBlock, kPage, kChunk, kChannel, kInterleave, kPlane };
enum class StepDirection { kUp, kDown };

// One click on an arrow of a stepper: the field (or byte) steps within its
// bounds, then the page is read (the plane stepper reads through the option
// field's change, so only when the plane changed). Block and page stop at
// 0xFFFF, chunk at 0xFF (the highest chunk a read can send), channel at 3,
// interleave at 7, plane at 3. A block, page or chunk text that is not a
// hexadecimal number is refused with an error naming the field, and nothing
// changes or is sent.
FlashOutcome FlashRwStep(AppState& state, Feedback& feedback, FlashRwFields& fields, FlashRwStepper stepper,
                         StepDirection direction);

// The two field-change rules. The option field taking a new text refreshes
// the plane display from FlashOption and reads the page; the channel/CE field
// taking a new text refreshes the channel and interleave displays from
// FlashChCe. A text equal to the field's own changes nothing.
FlashOutcome SetOptionFieldText(AppState& state, Feedback& feedback, FlashRwFields& fields, const std::string& text);
void SetChCeFieldText(const AppState& state, FlashRwFields& fields, const std::string& text);

// The option fields and displays rewritten from FlashOption and FlashChCe,
// the channel/CE field first, so that the read a changed option field makes
// uses the new channel/CE byte as well. Set, entering the page and the LBA
// translation end with this.
FlashOutcome ShowOptionBytes(AppState& state, Feedback& feedback, FlashRwFields& fields);

// What entering the page sets up besides the fields.
struct FlashRwEntry {
  bool NormalFirmware = false;  // the selected drive runs its normal firmware (CardMode 2)
  // L2PChkBox and BTN_Distribution enabled (else L2PChkBox also unchecked).
  bool LbaAndDistributionEnabled = false;
  // CHKB_FlashClock and EDT_FlashClock shown (the box is unchecked either way).
  bool TransferRateShown = true;
  FlashOutcome Read;  // the read made when the option field changed
};

// Entering the page: the transfer rate box is unchecked (and the LBA box,
// unless the drive runs its normal firmware), the option fields
// show the bytes (ShowOptionBytes; the first visit after start-up changes the
// option field from "00" and so reads the page).
FlashRwEntry EnterFlashRwPage(AppState& state, Feedback& feedback, FlashRwFields& fields);

}  // namespace dozered
