// The 512-byte command sector of the vendor protocol, the reserved sector
// addresses the protocol runs on, and the common flash address parameters.
#pragma once

#include <array>
#include <cstdint>

namespace dozered {

inline constexpr uint32_t kSectorBytes = 512;

// Reserved logical block addresses.
inline constexpr uint32_t kUnlockLbas[5] = {0xAA, 0xAA00, 0x55, 0x5500, 0x55AA};
inline constexpr uint32_t kCommandAddress = 0x55AA;          // also where data-in is read
inline constexpr uint32_t kFallbackCommandAddress = 0x0789;
inline constexpr uint32_t kLeaveVendorModeLba = 0x1234;
inline constexpr uint32_t kPreCommandLba = 0;                // read once before every command

// Byte 0 of a command block.
inline constexpr uint8_t kDirectionIn = 0xF0;
inline constexpr uint8_t kDirectionOut = 0xF1;

// Opcodes (byte 1).
inline constexpr uint8_t kOpReadFlash = 0x0A;
inline constexpr uint8_t kOpWriteFlash = 0x0B;
inline constexpr uint8_t kOpEraseFlash = 0x0C;
inline constexpr uint8_t kOpReadIspInfo = 0x04;
inline constexpr uint8_t kOpReadFlashId = 0x20;
inline constexpr uint8_t kOpDownloadCode = 0x27;
inline constexpr uint8_t kOpJumpToCode = 0x28;
inline constexpr uint8_t kOpLoadDiagnosticCode = 0x2B;
inline constexpr uint8_t kOpEnterRomCodeMode = 0x2C;
inline constexpr uint8_t kOpReadSmart = 0x3E;
inline constexpr uint8_t kOpReadIdentify = 0x3F;
inline constexpr uint8_t kOpTranslateLba = 0x41;
inline constexpr uint8_t kOpReadEraseCount = 0x42;
inline constexpr uint8_t kOpReadMarkBadInfo = 0x43;
inline constexpr uint8_t kOpReadBadBlockInfo = 0x44;
inline constexpr uint8_t kOpReadFlashDistribution = 0x45;
inline constexpr uint8_t kOpReadChunkEcc = 0x46;
inline constexpr uint8_t kOpReadCid = 0x47;
inline constexpr uint8_t kOpReadErrorLog = 0xA7;
inline constexpr uint8_t kOpSetFlashClock = 0xB1;

// Fixed data lengths of the commands that do not take a sector count.
inline constexpr uint32_t kReadIdentifyBytes = 512;
inline constexpr uint32_t kReadIspInfoBytes = 512;
inline constexpr uint32_t kReadSmartBytes = 512;
inline constexpr uint32_t kReadCidBytes = 512;
inline constexpr uint32_t kReadBadBlockInfoBytes = 12288;
inline constexpr uint32_t kFlashIdSectors = 4;  // ReadFlashId: 2,048 bytes

// One command sector: byte 0 the direction class, byte 1 the opcode, the
// parameters from byte 2; every byte not set is 0.
struct CommandBlock {
  std::array<uint8_t, kSectorBytes> bytes{};

  void Clear() { bytes.fill(0); }
  uint8_t* data() { return bytes.data(); }
  const uint8_t* data() const { return bytes.data(); }
  uint8_t& operator[](std::size_t i) { return bytes[i]; }
  uint8_t operator[](std::size_t i) const { return bytes[i]; }
};

// The flash position of ReadFlash, EraseFlash, ReadFlashDistribution,
// ReadChunkEcc and WriteFlash. Block and page are 16-bit on the wire; higher
// bits are dropped.
//   byte 2: block bits 8-15    byte 3: block bits 0-7
//   byte 4: page bits 0-7      byte 12: page bits 8-15
//   byte 5: chunk              byte 8: option       byte 10: channel / CE
struct FlashAddress {
  uint32_t block = 0;
  uint32_t page = 0;
  uint8_t chunk = 0;
  uint8_t option = 0;
  uint8_t chCe = 0;
};

// Sectors transferred for a byte count: whole sectors, rounded up.
constexpr uint32_t SectorsForBytes(uint32_t bytes) {
  return static_cast<uint32_t>((static_cast<uint64_t>(bytes) + kSectorBytes - 1) / kSectorBytes);
}

}  // namespace dozered
