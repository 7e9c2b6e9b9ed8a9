// The code and information dumps of the "Flash RW" page ("DumpISP",
// "DumpInfo"): the blocks that hold the controller's code, or its
// information records, copied page by page to files.
//
// The controller keeps two copies of each area, in two blocks the card
// information record names (IspBlocks, InfoBlocks), on every populated
// channel and CE. A dump reads both copies at every populated position,
// page by page and plane by plane, and writes the data sectors of each read
// to one file per copy and position, in a new folder named after the date
// ("DumpISP_MMDD_NNNN"). A position's dump ends early, without error, at the
// first read whose spare area no longer carries the area's marker.
//
//   DumpPlace place;                      // the working directory, today
//   DumpOutcome out = DumpControllerArea(state, feedback, DumpKind::kIsp, place);
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>

#include "app/app_state.h"
#include "app/feedback.h"
#include "flash/flash_operation.h"

namespace dozered {

enum class DumpKind { kIsp, kInfo };

inline constexpr char kDumpIspFailText[] = "Dump ISP Fail!";
inline constexpr char kDumpInfoFailText[] = "Dump Info Fail!";
inline constexpr char kDumpIspFinishText[] = "Dump ISP finish!";
inline constexpr char kDumpInfoFinishText[] = "Dump Info finish!";
inline constexpr char kDumpIspSuccessText[] = "Dump ISP successful";
inline constexpr char kDumpInfoSuccessText[] = "Dump Info successful";
inline constexpr char kDumpCannotOpenText[] = "Cannot open ";        // followed by the file name
inline constexpr char kDumpCannotWriteText[] = "Cannot write ";      // followed by the file name
inline constexpr char kDumpCannotCreateFolderText[] = "Cannot create folder ";  // followed by the folder
inline constexpr char kDumpFileErrorCaption[] = "ERROR";
inline constexpr char kDumpMessageCaption[] = "Message";
// What a file that cannot be created or written makes of the dump.
inline constexpr int32_t kDumpFileFailure = 0xAA;

// The progress bar runs over the 2 copies x 8 CEs x 4 channels.
inline constexpr int kDumpProgressSteps = 64;
// Folders are numbered 0000 to 4999 per day.
inline constexpr int kDumpFolderLimit = 5000;
// Markers in the spare area (counted from the sector after the data).
inline constexpr size_t kIspMarkerOffset = 16;
inline constexpr uint8_t kIspMarker = 0x0B;
inline constexpr size_t kInfoMarkerOffset = 0;
inline constexpr uint8_t kInfoMarker = 0xE1;
// Option bytes: scrambling, one plane forced and strong page mode (ISP), the
// same with read retry (information); plane q in bits 6-7.
inline constexpr uint8_t kIspDumpOption = 0x15;
inline constexpr uint8_t kInfoDumpOption = 0x35;
// Information pages 0 and 1 are read with "Enable Max ECC" and kept without
// the marker test.
inline constexpr uint16_t kInfoPagesWithoutMarker = 2;

struct LocalDate {
  int Month = 1;  // 1-12
  int Day = 1;    // 1-31
};
// Today on the local clock.
LocalDate LocalToday();

// Where a dump goes: the folder the date-named folders are made in (empty:
// the working directory) and the clock that names them.
struct DumpPlace {
  std::filesystem::path Base;
  std::function<LocalDate()> Today = LocalToday;
};

// The texts, bytes and names of one kind.
const char* DumpFolderFormat(DumpKind kind);  // "DumpISP_%02d%02d_%04d"
uint8_t DumpOptionByte(DumpKind kind, int plane);
uint8_t DumpTargetByte(DumpKind kind, int channel, int ce, uint16_t page);
// Whether a read's spare area keeps the read in the file.
bool DumpReadKept(DumpKind kind, uint16_t page, std::span<const uint8_t> spare);

// The folder name for month, day and sequence number n.
std::string DumpFolderName(DumpKind kind, const LocalDate& date, int n);
// The file name of one copy at one position. The name carries the low 8 bits
// of the block number ("Block%02X"); when the two copies' numbers differ only
// above them (`wholeBlockNumber`) it carries the whole number ("Block%04X"),
// so that the second copy does not replace the first.
std::string DumpFileName(DumpKind kind, uint16_t block, int channel, int ce, bool wholeBlockNumber);

struct DumpOutcome : FlashOutcome {
  std::filesystem::path Folder;  // the folder the files went into ("" when none was made)
  int FilesWritten = 0;          // files created, also those ended early
};

// The dump of `kind` from the selected drive. Disables the page control for
// its length (the busy rule), shows "Waitting......", advances the progress
// bar 64 times (once per copy, CE and channel, populated or not) and ends
// with the finish box and the final status. A failed read or a file that
// cannot be written ends the whole dump with the failure box ("Dump ISP
// Fail!") and an empty status line; the files written so far stay. A folder
// that cannot be created ends it with a box naming the folder. A cancel
// (closing the window) ends it between reads.
DumpOutcome DumpControllerArea(AppState& state, Feedback& feedback, DumpKind kind, const DumpPlace& place = {});

}  // namespace dozered
