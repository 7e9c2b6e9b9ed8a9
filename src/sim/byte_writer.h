// Little helpers for laying out records.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace dozered::sim {

inline void PutU16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}

inline void PutU32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (size_t i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

inline void PutU48(std::vector<uint8_t>& b, size_t at, uint64_t v) {
  for (size_t i = 0; i < 6; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// Text padded with `pad` to `width` bytes.
inline void PutText(std::vector<uint8_t>& b, size_t at, const std::string& text, size_t width, char pad = ' ') {
  for (size_t i = 0; i < width; ++i) b[at + i] = static_cast<uint8_t>(i < text.size() ? text[i] : pad);
}

// Text in ATA byte-pair order: the first character of each pair in the high byte.
inline void PutAtaText(std::vector<uint8_t>& b, size_t at, const std::string& text, size_t width) {
  for (size_t i = 0; i < width; ++i) {
    const char c = i < text.size() ? text[i] : ' ';
    b[at + (i ^ 1)] = static_cast<uint8_t>(c);
  }
}

}  // namespace dozered::sim
