// Saving what the pages hold: "Save To BIN File", "&Save To TXT File", the
// erase-count export ("Save Erase Count") and its analysis ("Show Analyze").
// Plain code over AppState and Feedback; the main window binds its menus,
// dialogs and buttons to them, and dozered-cli calls them too.
//
// The file dialog is a callback: it is shown with the default name (without
// extension) and returns the chosen path, or an empty path when the user
// cancelled. A cancelled dialog writes nothing.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/app_state.h"
#include "app/feedback.h"
#include "decode/rows.h"

namespace dozered {

inline constexpr char kSaveFileFailFormat[] = "Save file fail: %s";

// The save dialog: `defaultName` is its file name when it opens.
using ChooseSaveFile = std::function<std::filesystem::path(const std::string& defaultName)>;

// How a save ended.
enum class SaveStatus {
  kNothing,  // nothing to save on that page, no drive, or every dialog cancelled
  kSaved,    // every file chosen was written
  kFailed,   // a read failed, or a file could not be written (Message says which)
};

struct SaveOutcome {
  SaveStatus Status = SaveStatus::kNothing;
  int32_t Result = 0;                        // the code of a failed read; 0 otherwise
  std::string Message;                       // what the status line was given ("" for nothing)
  std::vector<std::filesystem::path> Files;  // the files written
};

// One file of "Save To BIN File": the dialog's default name and the bytes.
struct BinFile {
  std::string DefaultName;
  std::vector<uint8_t> Bytes;
};

// The files "Save To BIN File" offers on page `page`, in the order of their
// dialogs; none on pages without a binary file, and none on pages 0, 1 and 3
// without a selected drive. `flashRwSectorItem` is the item of
// CMBB_FlashRW_Sector (page 7: the page data, then its spare sector).
std::vector<BinFile> BinFilesForPage(const AppState& state, int page, int flashRwSectorItem);

// "Save To BIN File" on the active page `page`: one dialog per file, each
// written when its dialog was not cancelled.
SaveOutcome SaveToBinFile(const AppState& state, Feedback& feedback, int page, int flashRwSectorItem,
                          const ChooseSaveFile& choose);

// What the active page shows at the moment of saving: the rows of its list
// and the text of its result memo (Chunk ECC, DBS / DPS).
struct PageViewText {
  Rows List;
  std::string Memo;
};

// The default name and content of "&Save To TXT File" on page `page`;
// false on pages without, and on pages 6 and 9 while their memo is empty.
bool TxtFileForPage(int page, const PageViewText& view, std::string& defaultName, std::string& content);

// "&Save To TXT File" on the active page `page`.
SaveOutcome SaveToTxtFile(Feedback& feedback, int page, const PageViewText& view, const ChooseSaveFile& choose);

// The erase-count export of the selected drive. It reads the table itself
// (33 sectors into a buffer of its own). With EraseCountLogMode set it writes
// "EraseCnt.txt" into the log folder LogFolderName without a dialog; otherwise the dialog opens with "EraseCnt". A failed read writes
// nothing and reports "Read erase count fail(%d)".
SaveOutcome SaveEraseCount(AppState& state, Feedback& feedback, const ChooseSaveFile& choose);

// What "Show Analyze" puts into LV_EraseCount and the analysis chart.
struct EraseCountAnalysis {
  bool Read = false;       // false: no drive, or the read failed; nothing changes
  int32_t Result = 0;      // of ReadEraseCount
  int AxisMaximum = 0;     // the bottom axis spans 0 to the table's (limited) end value
  Rows List;               // "0x%04X" block, "Bad Block" or "0x%04X" count
  std::vector<std::pair<int, int>> Points;  // block, count (0 for a bad block)
};

// Reads the erase-count table of the selected drive for the analysis. A
// failed read reports "Read erase count fail(%d)" and leaves Read false, so
// that the chart and the list stay as they were.
EraseCountAnalysis ReadEraseCountAnalysis(AppState& state, Feedback& feedback);

// The bad blocks the card information of device `device` counts (run-time,
// original and pre-test), as one 32-bit sum.
uint32_t BadBlockTotal(const AppState& state, int device);

}  // namespace dozered
