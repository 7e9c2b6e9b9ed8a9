// Decoding of the 512-byte ATA IDENTIFY DEVICE data into the rows of the
// Identify Table page (columns "Item" and "Description").
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "decode/ini_file.h"
#include "decode/rows.h"

namespace dozered {

inline constexpr size_t kIdentifySize = 512;

// The IDENTIFY data with the bytes of each word of the serial number
// (words 10-19), firmware revision (23-26) and model number (27-46) exchanged,
// so that the texts read in order. Bytes beyond `data` are taken as zero.
std::array<uint8_t, kIdentifySize> SwapIdentifyTexts(std::span<const uint8_t> data);

// Rows of the page. With a layout (ECTable.ini) the swapped copy is decoded by
// that layout alone; without one (nullptr) by the built-in table.
Rows DecodeIdentify(std::span<const uint8_t> data, const IniFile* ecTable);

}  // namespace dozered
