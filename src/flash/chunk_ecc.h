// Chunk ECC: how many bits the controller's ECC had to correct in each 1 KiB
// chunk (and in the spare area) of a flash page, at every read-retry level.
//
// Two operations send ReadChunkEcc:
//   - the range run of the "Chunk ECC" page, over a range of blocks and pages
//     on one channel and CE, printed as tables of hexadecimal counts;
//   - the single-page read of the "ChunkECC" button on the Flash RW page,
//     which shows the answer raw in the Flash RW views.
// On a drive under its normal firmware both load DgISP_ReadChunkEcc.bin first.
//
//   ChunkEccFields fields;            // the page's texts
//   fields.StartBlock = "0100"; fields.EndBlock = "0101";
//   fields.Ch = "0"; fields.Ce = "1";
//   FlashOutcome out = RunChunkEccRange(state, feedback, fields);
//   if (out.RawView) memo = *out.RawView;   // the new text of MM_ChunkECC
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "app/app_state.h"
#include "app/feedback.h"
#include "decode/chunk_ecc_geometry.h"
#include "flash/flash_operation.h"
#include "flash/flash_rw.h"

namespace dozered {

inline constexpr char kChunkEccFileMissingText[] = "It can't open DgISP_ReadChunkEcc.bin file";
inline constexpr char kReadChunkFailText[] = "Read chunk fail";
inline constexpr char kReadChunkSuccessText[] = "Read chunk successful";
inline constexpr char kSelectChAndCeText[] = "Select CH and CE first";
inline constexpr char kSelectChText[] = "Select CH first";
inline constexpr char kSelectCeText[] = "Select CE first";
inline constexpr char kReadChunkCancelledText[] = "Read chunk cancelled";

// Character limits of the range fields.
inline constexpr size_t kChunkEccBlockChars = 4;
inline constexpr size_t kChunkEccPageChars = 3;
// The items of the two selection boxes: CE "0" to "7", CH "0" to "3".
inline constexpr int kChunkEccCeItems = 8;
inline constexpr int kChunkEccChItems = 4;

// The option byte of the range run when "Disable Use Orphan Table" is checked.
inline constexpr uint8_t kChunkEccDisableOrphan = 0x02;

// The texts of the "Chunk ECC" page's controls.
struct ChunkEccFields {
  std::string StartBlock = "0000";  // EDT_ChunkECC_StartBlock
  std::string EndBlock = "0000";    // EDT_ChunkECC_EndBlock
  std::string StartPage = "0000";   // EDT_ChunkECC_StartPage
  std::string EndPage = "0000";     // EDT_ChunkECC_EndPage
  std::string Ce;                   // CMBB_ChunkECC_CE ("" while nothing is selected)
  std::string Ch;                   // CMBB_ChunkECC_CH
  bool DisableOrphan = false;       // CHKB_CunkECC_DisOrphan
};

// The target byte of the range run: CE in bits 3-5, CH in bits 0-2.
uint8_t ChunkEccTarget(uint32_t ce, uint32_t ch);

// The answer geometry of the selected drive, from its card information
// record: A chunks per group, B groups per row, C retry rows.
ChunkEccGeometry SelectedChunkEccGeometry(const AppState& state);

// The text of one page's answer: the "Block:%04X, Page:%03X" line, the
// header line and one line per retry row, each line ending in CR LF. The
// columns of the header stand above the counts. `answer` holds at least
// geometry.AnswerBytes() bytes.
std::string ChunkEccPageText(const ChunkEccGeometry& geometry, uint32_t block, uint32_t page,
                             std::span<const uint8_t> answer);

// The range run (BTN_ChunkECC). With no drive selected nothing happens.
// DgISP_ReadChunkEcc.bin must lie beside the executable (else a message box
// and the run ends); a CH or CE without a selection sends nothing and the
// status line says what to select. The drive is opened for the run ("Access
// device fail" when it cannot be) and, in CardMode 2, the program is loaded.
// Then ReadChunkEcc for every page of every block of the range, each answer
// read into PageDataBuffer. The outcome's RawView is the new text of
// MM_ChunkECC: every page's lines, or empty after a failed command, which
// ends the run with "Read chunk fail".
FlashOutcome RunChunkEccRange(AppState& state, Feedback& feedback, const ChunkEccFields& fields);

// The single-page read (BTN_Chunk_ECC on the Flash RW page): in CardMode 2
// the program is loaded, then ReadChunkEcc at the Flash RW address, N
// sectors into FlashPageBuffer. On success the raw view shows all N sectors
// and the spare view is emptied ("Read flash successful"); a failure shows
// "Read flash fail(%d)" and leaves buffer and views as they were.
FlashOutcome ReadChunkEccPage(AppState& state, Feedback& feedback, const FlashRwFields& fields);

}  // namespace dozered
