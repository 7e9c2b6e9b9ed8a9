// Reading the information pages of the main window: which record belongs to
// which page, the command that fetches it, the hex dump of its bytes, the
// decoder that turns it into list rows, and the status messages.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "decode/rows.h"
#include "decode/smart.h"

namespace dozered {

class Feedback;

inline constexpr char kWaitingText[] = "Waitting......";
inline constexpr char kNoDeviceText[] = "No device!";
inline constexpr char kFunctionNotSupportedText[] = "Function no supported";
inline constexpr char kReadFlashIdSuccessText[] = "Read Flash ID successful";
inline constexpr char kReadFlashIdFailFormat[] = "Read Flash ID fail(%d)";
inline constexpr char kReadConfigurationTableSuccessText[] = "Read configuration table successful";
inline constexpr char kReadSmartSuccessText[] = "Read SMART data successful";
inline constexpr char kReadSmartFailFormat[] = "Read SMART data fail(%d)";
inline constexpr char kReadCardInfoSuccessText[] = "Read card info successful";
inline constexpr char kReadEraseCountSuccessText[] = "Read erase count successful";
inline constexpr char kReadEraseCountFailFormat[] = "Read erase count fail(%d)";
inline constexpr char kAccessDeviceFailText[] = "Access device fail";
inline constexpr char kRetrieveCidSuccessText[] = "Retrieve CID info successful";
inline constexpr char kRetrieveCidFailFormat[] = "Retrieve CID info fail(%d)";
inline constexpr char kParsingMarkBadSuccessText[] = "Parsing mark bad info successful";
inline constexpr char kReadMarkBadFailFormat[] = "Read mark bad info fail(%d)";
inline constexpr char kReadErrorLogSuccessText[] = "Read error log successful";
inline constexpr char kReadErrorLogFailFormat[] = "Read error log fail(%d)";
inline constexpr char kTemperatureLineTag[] = "Temperature Sensor(D):";

// Transfer sizes of the page reads.
inline constexpr uint32_t kFlashIdReadSectors = 4;
inline constexpr uint8_t kSmartSubCommand = 0xD0;
inline constexpr uint32_t kEraseCountReadSectors = 33;
inline constexpr uint32_t kMarkBadReadSectors = 16;
inline constexpr uint32_t kErrorLogReadSectors = 2;
inline constexpr size_t kCidBlockOffset = 32;

// How a page read ended.
enum class PageReadStatus {
  kRead,          // the page was read and shown
  kReadWithNote,  // read and shown, but a file it uses could not be used (the message names it)
  kFailed,        // the command failed, or the drive could not be opened; Result holds the code
  kNoDevice,      // no drive is selected
  kNotSupported,  // the page has no read of its own
};

// What one read changes in the page's views (a field left empty leaves its
// view as it was), and how it ended.
struct PageReadOutput {
  PageReadStatus Status = PageReadStatus::kNoDevice;
  // The result code of the page's command (0 when it succeeded or none was
  // sent; -12 when the drive could not be opened).
  int32_t Result = 0;
  std::string Message;                      // what the status line was given ("" for none)
  std::optional<std::string> Dump;          // the memo's new text ("" empties it)
  std::optional<Rows> List;                 // the list's new rows (none empties it)
  std::optional<std::string> MarkBadCount;  // EDT_TtlMarkBadCount
  std::optional<uint8_t> Temperature;       // new reading for the device panel
};

// Reads page `page` (0 to 13) of the selected drive, as one run of
// `feedback`. Status messages and the code loader's message boxes go to
// `feedback`; the views' new contents and the outcome come back. With no
// drive selected only page 0 says anything ("No device!").
PageReadOutput ReadPageData(AppState& state, Feedback& feedback, int page);

// Whether a page switches between its raw view and its decoded view.
bool PageHasRawViewSwitch(int page);

// The device panel lines after a new temperature reading: every line that
// carries the temperature tag is replaced; the others are kept.
std::vector<std::string> RefreshTemperatureLines(const std::vector<std::string>& lines, uint8_t reading);

// The SMART attribute names for device index `device`: those of the drive's
// own String.ini, which sits in its folder beside the executable with its
// diagnostic programs, when that file exists and names attributes, else the
// start-up names. A file that is there but cannot be used leaves a note
// naming it in `note`.
SmartNames SmartNamesFor(const AppState& state, int device, std::string* note = nullptr);

// The status bar text for a clicked IDENTIFY row: its sub-items (the columns
// after the first), each followed by a line break.
std::string IdentifyRowStatusText(const Row& row);

}  // namespace dozered
