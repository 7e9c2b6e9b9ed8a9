// Decoding of a byte record by a table layout described in an INI file
// (ECTable.ini for the IDENTIFY data, CIDTable.ini for the CID block).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "decode/ini_file.h"
#include "decode/rows.h"

namespace dozered {

// Where the lines go: the CID Option list (one column "Item") or the Identify
// Table list (columns "Item" and "Description").
enum class TableTarget : int { CidOption = 1, IdentifyTable = 2 };

// Largest item, in bytes, that a layout may describe.
inline constexpr size_t kIniItemMaxBytes = 128;
// Longest text read from a layout file and longest line built from one.
inline constexpr size_t kIniTextMaxChars = 127;

// Decodes `record` by `layout` into rows for `target`. The layout is the
// user's file: an item that does not lie inside the record, is longer than
// 128 bytes, or is a text item with no room for its terminating NUL (more than
// 127 bytes) is skipped with its bit fields, and decoding goes on with the
// next item; a note for each skipped item is appended to `skipped` when given.
// Texts from the file and lines built from them are cut to 127 characters.
Rows DecodeIniTable(std::span<const uint8_t> record, const IniFile& layout, TableTarget target,
                    std::vector<std::string>* skipped = nullptr);

}  // namespace dozered
