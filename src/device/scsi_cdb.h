// Fields of the SCSI command blocks and sense data the tool sends and the
// plain disks answer: big-endian numbers, READ(10) / WRITE(10) and
// fixed-format sense.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace dozered::scsi {

inline constexpr uint8_t kOpRead10 = 0x28;
inline constexpr uint8_t kOpWrite10 = 0x2A;
inline constexpr uint8_t kFixedSenseLength = 18;

inline void PutBe32(uint8_t* bytes, uint32_t value) {
  bytes[0] = static_cast<uint8_t>(value >> 24);
  bytes[1] = static_cast<uint8_t>(value >> 16);
  bytes[2] = static_cast<uint8_t>(value >> 8);
  bytes[3] = static_cast<uint8_t>(value);
}

inline uint32_t GetBe32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
         static_cast<uint32_t>(bytes[2]) << 8 | static_cast<uint32_t>(bytes[3]);
}

// READ(10) / WRITE(10): LBA in bytes 2-5, sector count in bytes 7-8.
inline void BuildReadWrite10(uint8_t* cdb, uint8_t opcode, uint8_t byte1, uint32_t lba, uint32_t count) {
  cdb[0] = opcode;
  cdb[1] = byte1;
  PutBe32(cdb + 2, lba);
  cdb[7] = static_cast<uint8_t>(count >> 8);
  cdb[8] = static_cast<uint8_t>(count);
}

inline uint32_t ReadWrite10Lba(const uint8_t* cdb) { return GetBe32(cdb + 2); }
inline uint32_t ReadWrite10Count(const uint8_t* cdb) { return static_cast<uint32_t>(cdb[7]) << 8 | cdb[8]; }

// Clears `size` bytes of `sense` and fills in fixed-format sense data
// (current error) with `key` and `asc`; returns its length.
inline uint8_t FillFixedSense(uint8_t* sense, size_t size, uint8_t key, uint8_t asc) {
  std::memset(sense, 0, size);
  sense[0] = 0x70;
  sense[2] = key;
  sense[7] = kFixedSenseLength - 8;
  sense[12] = asc;
  return kFixedSenseLength;
}

// A text field of INQUIRY data: `text` cut or padded with blanks to `length`.
inline void PutPaddedText(uint8_t* out, size_t length, const std::string& text) {
  std::memset(out, ' ', length);
  std::memcpy(out, text.data(), std::min(length, text.size()));
}

}  // namespace dozered::scsi
