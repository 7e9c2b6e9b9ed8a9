// Texts for result codes whose message must say more than the number: the
// ones that tell the user a sector of theirs may hold vendor data.
#pragma once

#include <cstdint>
#include <string>

namespace dozered {

// What the result means for the sector at the command address, naming its
// LBA; empty for every code that leaves the user's sectors as they were.
std::string ResultCodeNote(int32_t code, uint32_t commandAddress);

// `format` (one %d, such as "Read flash fail(%d)") filled with the code,
// followed by the note when the code has one.
std::string FormatResultMessage(const char* format, int32_t code, uint32_t commandAddress);

}  // namespace dozered
