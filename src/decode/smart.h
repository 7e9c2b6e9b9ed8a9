// Decoding of the 512-byte SMART data into the rows of the Smart Info page
// (columns "ID", "Current", "Worst", "Raw data").
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "decode/rows.h"

namespace dozered {

inline constexpr size_t kSmartSize = 512;
inline constexpr int kSmartEntryCount = 30;
inline constexpr size_t kSmartNameMaxChars = 99;

// One name per attribute ID; index 0 carries no name.
using SmartNames = std::array<std::string, 256>;
// The start-up table: 256 NUL-terminated entries of 100 bytes.
using AttributeNameTable = std::array<std::array<char, 100>, 256>;

// Path of the drive's own String.ini below `exeDir`: the folder named by the
// ISP version (bytes 404-415 of the ISP information block), and, when bytes
// 416-419 read "SNDK" and the firmware revision (IDENTIFY words 23-26) starts
// with "P", the sub-folder named by the revision's first three characters.
std::filesystem::path PerModelStringIniPath(const std::filesystem::path& exeDir,
                                            std::span<const uint8_t> identify,
                                            std::span<const uint8_t> ispInfo);

// Names from a per-model String.ini (section "VE4810VO", keys "ID%X"); a
// missing key gives an empty name. nullopt when the file cannot be opened.
std::optional<SmartNames> LoadPerModelNames(const std::filesystem::path& path);

SmartNames NamesFromTable(const AttributeNameTable& table);

// One row per used attribute entry, in entry order.
Rows DecodeSmart(std::span<const uint8_t> smart, const SmartNames& names);

// As above with the names of the per-model file when it exists, otherwise
// those of the start-up table.
Rows DecodeSmart(std::span<const uint8_t> smart, std::span<const uint8_t> identify,
                 std::span<const uint8_t> ispInfo, const std::filesystem::path& exeDir,
                 const AttributeNameTable& startupNames);

}  // namespace dozered
