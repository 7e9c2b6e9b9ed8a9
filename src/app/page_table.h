// The fourteen pages of the main window's page control, in their fixed order:
// the name TabSheet.ini uses for each, the caption on its tab and the name of
// its page control.
#pragma once

#include <array>

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

struct PageInfo {
  const char* TabSheetName;  // as listed in TabSheet.ini (compared exactly)
  const char* Caption;       // text on the tab
  const char* ControlName;   // object name of the page
};

inline constexpr std::array<PageInfo, kPageCount> kPages = {{
    {"Read Flash ID", "Read Flash ID", "TS_ReadFlashID"},
    {"Identify Table", "Identify Table", "TS_IdentifyTable"},
    {"Smart Data", "Smart Info", "TS_SmartInfo"},
    {"Card Info", "Card Info", "TS_CardInfo"},
    {"Erase Count", "Erase Count", "TS_EraseCount"},
    {"CID Option", "CID Option", "TS_CidOption"},
    {"Chunk ECC", "Chunk ECC", "TS_ChunkEcc"},
    {"Flash RW", "Flash RW", "TS_FlashRW"},
    {"Flash Diagnosis", "Flash Diagnosis", "TS_FlashDiagnosis"},
    {"DBS / DPS", "DBS / DPS", "TS_DbsDps"},
    {"Mark Bad Info", "Mark Bad Info", "TS_MarkBadInfo"},
    {"L2P Mapping", "L2P mapping", "TS_L2P"},
    {"Microcode", "Microcode", "TS_MicroCode"},
    {"Error Log", "Error Log", "TabSheet1"},
}};

}  // namespace dozered
