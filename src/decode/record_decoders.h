// Decoders of the error log, the mark-bad list, the erase-count table and the
// CID block.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "decode/ini_file.h"
#include "decode/rows.h"
#include "protocol/card_info.h"

namespace dozered {

inline constexpr size_t kMarkBadRecordSize = 8192;
inline constexpr size_t kEraseCountTableSize = 16896;
inline constexpr int kEraseCountMaxBlocks = 8192;
inline constexpr size_t kCidBlockSize = 128;

// Rows "Item", "Value": six counters of the first 24 bytes.
Rows DecodeErrorLog(std::span<const uint8_t> record);

struct MarkBadResult {
  Rows rows;  // "Block", "Page", "Fail Reason", "CE", "Channel", "Plane", "Erase Counts"
  std::string TotalCount;  // text of EDT_TtlMarkBadCount: the number of entries
};

// Decodes the entries of the mark-bad record. Only the entries that lie wholly
// inside `record` are decoded (1,023 for the 8,192-byte record); the count
// text still shows the number the record states. With a BlocksPerCe of 0 the
// CE base is 0, so the CE column shows the CE offset.
// The CE base of an entry comes from the drive's BlocksPerCe and InterleaveWays.
MarkBadResult DecodeMarkBad(const CardInfo& card, std::span<const uint8_t> record);

// Rows "Block", "Count" of the erase-count table from `startBlock` (the
// card's EraseCountStartBlock; a negative value starts at block 0) up to the
// table's entry count (capped at 8,192 and at the entries present in `table`).
Rows DecodeEraseCountTable(std::span<const uint8_t> table, int16_t startBlock);

// Rows "Item" of the CID block by its layout; no layout gives no rows.
Rows DecodeCid(std::span<const uint8_t> cid, const IniFile* cidTable);

}  // namespace dozered
