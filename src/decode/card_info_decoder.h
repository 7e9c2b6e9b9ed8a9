// Decoding of the 1,616-byte card information record into the lines of the
// Card Info page (one column "Item").
#pragma once

#include <cstdint>
#include <span>

#include "decode/rows.h"

namespace dozered {

inline constexpr size_t kCardInfoRecordSize = 1616;

// Bytes beyond `record` are read as zero.
Rows DecodeCardInfo(std::span<const uint8_t> record);

}  // namespace dozered
