// What the device panel shows about the selected drive, and which pages the
// drive's code mode allows. Pure functions over the drive's records.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "protocol/card_info.h"

namespace dozered {

// The lines of MM_DeviceInfo and whether the drive runs its ROM code (which
// raises the "ROM Code Mode Device!" warning and offers "MP ISP").
struct DeviceInfo {
  std::vector<std::string> lines;
  bool romCodeMode = false;
};

// cardInfo: the drive's 2,048-byte CardInfoTable entry; identify: its 512-byte
// IDENTIFY data.
DeviceInfo BuildDeviceInfo(const std::string& deviceName, const uint8_t* cardInfo,
                           const uint8_t* identify);

// "Flash Vendor: ..." for the flash maker's ID byte.
std::string FlashVendorLine(uint8_t makerId);

// The capacity in MB: the 48-bit sector count of words 100-103 when word 83
// is valid (bits 15-14 are 01) and has bit 10 set, else the sector count of
// words 60-61; / 2,048. Computed and printed in 64 bits.
int64_t CapacityMegabytes(const uint8_t* identify);

// The text of a run of IDENTIFY words with each word's two bytes swapped,
// ending at the first NUL as "%.Ns" would.
std::string SwappedIdentifyText(const uint8_t* identify, size_t firstByte, size_t length);

// "Temperature Sensor(D): %02d".
std::string TemperatureLine(uint8_t reading);

// The device list entry "%s (%d, %d)".
std::string DeviceListEntry(const std::string& deviceName, int32_t port, int32_t target);

// Which pages stay visible for a drive in `cardMode`, given the pages
// TabSheet.ini enabled, and what becomes of BTN_Chunk_ECC.
enum class ChunkEccButton { Unchanged, Hidden, Shown };
struct PageRule {
  std::array<bool, kPageCount> visible{};
  ChunkEccButton chunkEcc = ChunkEccButton::Unchanged;
};
PageRule PagesForCardMode(uint8_t cardMode, const std::array<uint8_t, kPageCount>& pageEnabled);

}  // namespace dozered
