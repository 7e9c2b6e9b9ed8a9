// Decoding of the 512-byte SMART data into the rows of the Smart Info page
// (columns "ID", "Current", "Worst", "Raw data").
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "decode/ini_file.h"
#include "decode/rows.h"

namespace dozered {

inline constexpr size_t kSmartSize = 512;
inline constexpr int kSmartEntryCount = 30;
inline constexpr size_t kSmartNameMaxChars = 99;

// One name per attribute ID; index 0 carries no name.
using SmartNames = std::array<std::string, 256>;
// The start-up table: 256 NUL-terminated entries of 100 bytes.
using AttributeNameTable = std::array<std::array<char, 100>, 256>;

// Names from a per-model String.ini (section "VE4810VO", keys "ID%X"); a
// missing key gives an empty name. nullopt when the file names no attribute
// at all, so that it cannot stand in for the start-up names.
std::optional<SmartNames> PerModelNames(const IniFile& file);

SmartNames NamesFromTable(const AttributeNameTable& table);

// One row per used attribute entry, in entry order.
Rows DecodeSmart(std::span<const uint8_t> smart, const SmartNames& names);

}  // namespace dozered
