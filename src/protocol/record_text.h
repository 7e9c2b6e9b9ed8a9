// Reading the text fields of a drive's records. A field is a fixed run of
// bytes that ends early at its first NUL, as C's "%.Ns" prints it; ATA
// strings (the IDENTIFY serial number, firmware revision and model number)
// hold two characters per 16-bit word, the first in the word's high byte.
// Every text the tool shows or uses from a record is read here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace dozered {

inline constexpr size_t kIdentifyBytes = 512;
// The ATA strings of the IDENTIFY data: byte offset and length in characters.
inline constexpr size_t kSerialNumberOffset = 20;
inline constexpr size_t kSerialNumberLength = 20;
inline constexpr size_t kFirmwareRevisionOffset = 46;
inline constexpr size_t kFirmwareRevisionLength = 8;
inline constexpr size_t kModelNumberOffset = 54;
inline constexpr size_t kModelNumberLength = 40;

// `length` bytes of `record` from `offset` on, up to the first NUL; bytes
// beyond the record are not read.
inline std::string RecordText(std::span<const uint8_t> record, size_t offset, size_t length) {
  std::string text;
  for (size_t i = 0; i < length && offset + i < record.size(); ++i) {
    const uint8_t c = record[offset + i];
    if (c == 0) break;
    text.push_back(static_cast<char>(c));
  }
  return text;
}

// `length` characters of the ATA string at byte `offset` of the IDENTIFY
// data (offset even), in reading order, up to the first NUL.
inline std::string AtaText(std::span<const uint8_t, kIdentifyBytes> identify, size_t offset, size_t length) {
  std::string text;
  for (size_t i = 0; i < length && offset + i < identify.size(); ++i) {
    const uint8_t c = identify[offset + (i ^ 1)];
    if (c == 0) break;
    text.push_back(static_cast<char>(c));
  }
  return text;
}

}  // namespace dozered
