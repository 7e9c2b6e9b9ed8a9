// The block scans of the "DBS / DPS" page.
//
// DBS reads the same page of every block of the selected drive, DPS every
// page of one block; each step is one ReadFlash of D + 1 sectors into
// PageDataBuffer, and keeps 16 bytes of the spare sector that follows the
// data: spare bytes 16-23 (the logical page tag) and 32-39 (the sequence
// number). The result is one hex dump in which line i belongs to block (DBS)
// or page (DPS) i.
//
// A scan is a long run: it holds the run of `feedback` open from start to
// end, turns the event loop once before it starts and once before each step,
// and looks at Feedback::CancelRequested between steps (a command under way
// always completes). The drive is opened once around the loop. Progress goes
// to Feedback::Progress (the page's gauge).
//
//   DbsDpsFields fields;                  // the page's texts
//   fields.Page = "0000";
//   BlockScanOutcome out = RunDbs(state, feedback, fields);
//   if (out.Dump) memo->setPlainText(*out.Dump);
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/feedback.h"
#include "flash/flash_fields.h"
#include "flash/flash_operation.h"

namespace dozered {

inline constexpr char kBlockScanCompleteText[] = "Complete";
inline constexpr char kDbsFailFormat[] = "DBS fail(%d)";
inline constexpr char kDpsFailFormat[] = "DPS fail(%d)";
inline constexpr char kDbsFailText[] = "DBS fail";
inline constexpr char kDpsFailText[] = "DPS fail";
inline constexpr char kMemoryAllocateFailText[] = "Memory allocate fail";
inline constexpr char kScanAccessDeviceFailText[] = "Access device fail";

// One entry of the result table: spare bytes 16-23, then 32-39.
inline constexpr size_t kBlockScanEntryBytes = 16;
inline constexpr size_t kSpareTagOffset = 16;
inline constexpr size_t kSpareSequenceOffset = 32;

enum class BlockScanKind {
  kDbs,  // page P of every block: one line per block
  kDps,  // every page of block B: one line per page
};

// The texts of the page's fields: EDT_DbsDpsBlock (the block DPS scans),
// EDT_DbsDpsPage (the page DBS reads), the hidden EDT_DbsDpsChunk ("00"),
// EDT_DbsDpsOption0, EDT_DbsDpschce and the item of CMBB_DBS_Sector.
struct DbsDpsFields : FlashAddressFields {};

// What a window does around a scan. Each may be empty.
struct BlockScanWindow {
  // Scan mode: entered when the scan starts (a drive is selected), left when
  // it ends, on every way out.
  std::function<void()> EnterScanMode;
  std::function<void()> LeaveScanMode;
  // The result view is emptied once the drive is open, before the first step.
  std::function<void()> ClearResultView;
};

struct BlockScanOutcome {
  FlashStatus Status = FlashStatus::kNothing;  // kDone also for a cancelled scan
  int32_t Result = 0;        // the code of the failed step; 0 otherwise
  std::string Message;       // the status line's last text
  uint32_t StepCount = 0;    // C
  uint32_t StepsDone = 0;    // steps whose entry was taken
  bool Cancelled = false;    // stopped by a cancel before all C steps
  std::vector<uint8_t> Table;  // C x 16 bytes; entries not reached are zero. Empty after a failure.
  // The new text of the result view, its column-header line included; "" to
  // empty it; nothing: it stays as it was (the scan did not get to the drive).
  std::optional<std::string> Dump;
};

// The step count of a scan for the selected drive and the option byte sent:
// DBS TotalFBlockCount; DPS PagesPerBlock, halved in strong page mode. 0 when
// no drive is selected.
uint32_t BlockScanStepCount(const AppState& state, BlockScanKind kind, uint8_t option);

// The dump of a result table, header line first, one 80-column line per
// 16 bytes with offsets from 00000000, CR LF line ends; a table of any size
// (beyond the 4,096 lines one hex dump holds, the offsets go on counting).
std::string BlockScanDumpText(std::span<const uint8_t> table);

// Runs a DBS or DPS with the fields' texts. With no drive selected nothing
// happens. Otherwise: "Waitting......", the table, the drive opened once,
// one ReadFlash per step; a failing step shows "DBS fail(%d)" / "DPS
// fail(%d)" in an error box, leaves no result and reports "DBS fail" / "DPS
// fail"; a finished or cancelled scan shows all C entries and "Complete".
BlockScanOutcome RunBlockScan(AppState& state, Feedback& feedback, BlockScanKind kind, const DbsDpsFields& fields,
                              const BlockScanWindow& window = {});
BlockScanOutcome RunDbs(AppState& state, Feedback& feedback, const DbsDpsFields& fields,
                        const BlockScanWindow& window = {});
BlockScanOutcome RunDps(AppState& state, Feedback& feedback, const DbsDpsFields& fields,
                        const BlockScanWindow& window = {});

// The option fields written from FlashOption and FlashChCe ("%02X"), as
// entering the page does.
void ShowDbsDpsOptionBytes(const AppState& state, DbsDpsFields& fields);

// "Set": shows the settings dialog (`showSettingsDialog` returns when it is
// closed); when it was accepted, the option fields show the new bytes.
// Returns whether it was accepted.
bool DbsDpsSet(AppState& state, DbsDpsFields& fields, const std::function<void()>& showSettingsDialog);

}  // namespace dozered
