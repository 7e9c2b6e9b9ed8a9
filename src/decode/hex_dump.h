// The fixed 80-column hexadecimal dump shown by every raw view of the tool.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace dozered {

inline constexpr size_t kHexDumpLineSize = 80;
inline constexpr size_t kHexDumpMaxBytes = 65536;
// Header, 4,096 data lines and the terminating NUL.
inline constexpr size_t kHexDumpMaxTextSize = (kHexDumpMaxBytes / 16 + 1) * kHexDumpLineSize + 1;

// Writes the dump of `bytes` (at most the first 65,536) into `out`: a header
// line, then one line per 16 bytes, each line 80 characters ending in CR LF,
// then a NUL. The rest of `out` is cleared to zero. A last row shorter than 16
// bytes shows the missing bytes as blanks; nothing past `bytes` is read.
// If `out` is too small, only the whole lines that fit are written.
// Returns the number of characters written before the NUL.
size_t FormatHexDump(std::span<const uint8_t> bytes, char* out, size_t outSize);

}  // namespace dozered
