// The fourteen pages of the main window's page control, in their fixed order,
// one row each: the name TabSheet.ini uses for the page, the caption on its
// tab, the name of its page control, which record its read fetches, whether
// it switches between a raw and a decoded view, and what entering it does.
// The page read and the page change both take their facts from here.
#pragma once

#include <array>
#include <span>

#include "app/app_state.h"

namespace dozered {

enum PageIndex : int {
  kPageReadFlashId = 0,
  kPageIdentifyTable = 1,
  kPageSmartInfo = 2,
  kPageCardInfo = 3,
  kPageEraseCount = 4,
  kPageCidOption = 5,
  kPageChunkEcc = 6,
  kPageFlashRw = 7,
  kPageFlashDiagnosis = 8,
  kPageDbsDps = 9,
  kPageMarkBadInfo = 10,
  kPageL2P = 11,
  kPageMicrocode = 12,
  kPageErrorLog = 13,
};

// The read of an information page (ReadPageData); kNone: the page has no
// read of its own there ("Function no supported").
enum class PageReader {
  kNone,
  kFlashId,
  kIdentifyTable,
  kSmartInfo,
  kCardInfo,
  kEraseCount,
  kCidOption,
  kMarkBadInfo,
  kErrorLog,
};

// What becomes of the "Raw Data" box when the user enters the page.
enum class RawBoxOnEntry {
  kFollowsPage,  // enabled and set to the page's own choice, which picks the view
  kShowsList,    // enabled, but the page opens on its list whatever the box shows
  kOff,          // unchecked and disabled
  kUnchanged,
};

// What entering the page does after the box is set.
enum class PageEntry {
  kRead,         // runs the page read (BTN_ReadDataClick)
  kFlashPage,    // the flash page prepares itself (and reads, on Flash Diagnosis)
};

struct PageInfo {
  const char* TabSheetName;  // as listed in TabSheet.ini (compared exactly)
  const char* Caption;       // text on the tab
  const char* ControlName;   // object name of the page
  PageReader Reader;
  bool NoDeviceMessage;      // with no drive selected the read says "No device!" (else it does nothing)
  bool RawViewSwitch;        // "Raw Data" switches between dump and list (RawViewFlags)
  RawBoxOnEntry RawBox;
  PageEntry Entry;
};

inline constexpr std::array<PageInfo, kPageCount> kPages = [] {
  using enum PageReader;
  using enum RawBoxOnEntry;
  using enum PageEntry;
  return std::array<PageInfo, kPageCount>{{
      // name in TabSheet.ini, caption, page control, read, says "No device!", raw switch, raw box, entry
      {"Read Flash ID",   "Read Flash ID",   "TS_ReadFlashID",    kFlashId,       true,  false, kOff,         kRead},
      {"Identify Table",  "Identify Table",  "TS_IdentifyTable",  kIdentifyTable, false, true,  kFollowsPage, kRead},
      {"Smart Data",      "Smart Info",      "TS_SmartInfo",      kSmartInfo,     false, true,  kFollowsPage, kRead},
      {"Card Info",       "Card Info",       "TS_CardInfo",       kCardInfo,      false, true,  kFollowsPage, kRead},
      {"Erase Count",     "Erase Count",     "TS_EraseCount",     kEraseCount,    false, true,  kShowsList,   kRead},
      {"CID Option",      "CID Option",      "TS_CidOption",      kCidOption,     false, true,  kFollowsPage, kRead},
      {"Chunk ECC",       "Chunk ECC",       "TS_ChunkEcc",       kNone,          false, false, kOff,         kRead},
      {"Flash RW",        "Flash RW",        "TS_FlashRW",        kNone,          false, false, kOff,         kFlashPage},
      {"Flash Diagnosis", "Flash Diagnosis", "TS_FlashDiagnosis", kNone,          false, false, kOff,         kFlashPage},
      {"DBS / DPS",       "DBS / DPS",       "TS_DbsDps",         kNone,          false, false, kUnchanged,   kFlashPage},
      {"Mark Bad Info",   "Mark Bad Info",   "TS_MarkBadInfo",    kMarkBadInfo,   false, false, kOff,         kRead},
      {"L2P Mapping",     "L2P mapping",     "TS_L2P",            kNone,          false, false, kOff,         kRead},
      {"Microcode",       "Microcode",       "TS_MicroCode",      kNone,          false, false, kOff,         kRead},
      {"Error Log",       "Error Log",       "TabSheet1",         kErrorLog,      false, true,  kFollowsPage, kRead},
  }};
}();

// The columns of the list of each information page, as the captions of its
// header, in order. The saved text files and the JSON rows of dozered-cli
// name the columns by them; pages without a list have none.
inline constexpr size_t kMaxListColumns = 7;
struct PageColumns {
  std::array<const char*, kMaxListColumns> Captions;
  size_t Count;
};
inline constexpr std::array<PageColumns, kPageCount> kPageListColumns = {{
    {{"Item"}, 1},                                   // Read Flash ID (never filled)
    {{"Item", "Description"}, 2},                    // Identify Table
    {{"ID", "Current", "Worst", "Raw data"}, 4},     // Smart Info
    {{"Item"}, 1},                                   // Card Info
    {{"Block", "Count"}, 2},                         // Erase Count
    {{"Item"}, 1},                                   // CID Option
    {{}, 0}, {{}, 0}, {{}, 0}, {{}, 0},              // Chunk ECC, Flash RW, Flash Diagnosis, DBS / DPS
    {{"Block", "Page", "Fail Reason", "CE", "Channel", "Plane", "Erase Counts"}, 7},  // Mark Bad Info
    {{}, 0}, {{}, 0},                                // L2P mapping, Microcode
    {{"Item", "Value"}, 2},                          // Error Log
}};

// The list column captions of page `page`; none outside 0 to 13.
inline std::span<const char* const> PageListColumns(int page) {
  if (page < 0 || page >= kPageCount) return {};
  const PageColumns& columns = kPageListColumns[static_cast<size_t>(page)];
  return std::span<const char* const>(columns.Captions.data(), columns.Count);
}

// The row of page `page`; nullptr outside 0 to 13.
inline const PageInfo* PageRow(int page) {
  return page >= 0 && page < kPageCount ? &kPages[static_cast<size_t>(page)] : nullptr;
}

}  // namespace dozered
