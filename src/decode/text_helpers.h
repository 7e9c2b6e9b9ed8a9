// Small text helpers shared by the decoders and the fields of the flash pages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace dozered {

// Decimal number in the first `maxChars` characters of `text`: digits
// accumulate, a space is skipped while the value is still 0, any other
// character ends the scan. No digit gives 0. Wraps modulo 2^32.
uint32_t ParseDecimal(std::string_view text, size_t maxChars);

// Hexadecimal number in the first `maxChars` characters of `text`: hex digits
// accumulate, "x"/"X" is skipped while the value is still 0 (so "0x" may lead),
// any other character ends the scan. Wraps modulo 2^32.
uint32_t ParseHex(std::string_view text, size_t maxChars);

// Field k (0-based) of a comma-separated list, read by ParseDecimal with at
// most 4 characters. Runs of commas and empty fields are skipped. -1 when the
// list has fewer than k + 1 fields. Only the first 127 characters count.
int ListField(std::string_view text, int k);

// The leading run of characters 0x20..0x7F of `text`, at most 128 characters.
std::string PrintablePrefix(std::string_view text);

// `value` shifted right by `position` and masked to `width` bits, cut to 32
// bits. 0 when the item is larger than 8 bytes or the width is not positive.
uint32_t ExtractBits(uint64_t value, int position, int width, size_t itemSize);

}  // namespace dozered
