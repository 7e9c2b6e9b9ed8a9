// SMART attribute names from the [VE4810VO] section of String.ini.
#pragma once

#include <array>
#include <filesystem>
#include <string>

#include "app/app_state.h"

namespace dozered {

using AttributeNameTable = std::array<std::array<char, kAttributeNameSize>, kAttributeNameCount>;

// Clears `names` and fills entries 1 to 254 from the lines after the section
// header. The n-th line after the header names attribute ID n; its key
// ("ID%X=") is not parsed, only skipped by its length: 4 characters on lines
// 1 to 15, 5 characters from line 16 on. Only the first 8 characters of a
// line are compared with the header "[VE4810VO]". Entry 0 holds the last line
// read before the section starts. A missing file or section leaves every
// name empty. Reading stops after the last name entry. Returns a note naming
// the file when it is there but cannot be used (too large, UTF-16), else "".
std::string LoadAttributeNames(const std::filesystem::path& path, AttributeNameTable& names);

}  // namespace dozered
