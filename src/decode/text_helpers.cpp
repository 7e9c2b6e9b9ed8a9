#include "decode/text_helpers.h"

#include <algorithm>

namespace dozered {

uint32_t ParseDecimal(std::string_view text, size_t maxChars) {
  uint32_t value = 0;
  const size_t n = std::min(text.size(), maxChars);
  for (size_t i = 0; i < n; ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      value = value * 10u + static_cast<uint32_t>(c - '0');
    } else if (c == ' ' && value == 0) {
      continue;
    } else {
      break;
    }
  }
  return value;
}

uint32_t ParseHex(std::string_view text, size_t maxChars) {
  uint32_t value = 0;
  const size_t n = std::min(text.size(), maxChars);
  for (size_t i = 0; i < n; ++i) {
    const char c = text[i];
    uint32_t digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<uint32_t>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<uint32_t>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<uint32_t>(c - 'A' + 10);
    } else if ((c == 'x' || c == 'X') && value == 0) {
      continue;
    } else {
      break;
    }
    value = value * 16u + digit;
  }
  return value;
}

int ListField(std::string_view text, int k) {
  if (k < 0) return -1;
  text = text.substr(0, std::min<size_t>(text.size(), 127));
  int index = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    if (text[pos] == ',') {
      ++pos;
      continue;
    }
    size_t end = text.find(',', pos);
    if (end == std::string_view::npos) end = text.size();
    if (index == k) return static_cast<int>(ParseDecimal(text.substr(pos, end - pos), 4));
    ++index;
    pos = end;
  }
  return -1;
}

std::string PrintablePrefix(std::string_view text) {
  size_t n = 0;
  while (n < text.size() && n < 128) {
    const auto c = static_cast<unsigned char>(text[n]);
    if (c < 0x20 || c > 0x7F) break;
    ++n;
  }
  return std::string(text.substr(0, n));
}

uint32_t ExtractBits(uint64_t value, int position, int width, size_t itemSize) {
  if (itemSize > 8 || width <= 0 || position < 0) return 0;
  const uint64_t shifted = position >= 64 ? 0 : value >> position;
  const uint64_t mask = width >= 64 ? ~uint64_t{0} : (uint64_t{1} << width) - 1;
  return static_cast<uint32_t>(shifted & mask);
}

}  // namespace dozered
