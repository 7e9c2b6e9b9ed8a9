// What the device panel shows about the selected drive, and which pages the
// drive's code mode allows. Pure functions over the drive's records.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "protocol/card_info.h"
#include "protocol/record_text.h"

namespace dozered {

// The lines of MM_DeviceInfo and whether the drive runs its ROM code (which
// raises the "ROM Code Mode Device!" warning and offers "MP ISP").
struct DeviceInfo {
  std::vector<std::string> lines;
  bool romCodeMode = false;
};

// What the device information tells about a drive, field by field.
struct DriveIdentity {
  uint8_t cardMode = 0;
  uint8_t temperature = 0;          // card-information byte 19
  std::string serialNumber;         // IDENTIFY words 10-19
  std::string modelName;            // words 27-46
  std::string firmwareRevision;     // words 23-26
  int64_t capacityMegabytes = 0;
  uint8_t flashMakerId = 0;         // card-information byte 346
};

// cardInfo: the drive's CardInfoTable entry; identify: its IDENTIFY data.
DriveIdentity IdentityOf(std::span<const uint8_t, kCardInfoEntrySize> cardInfo,
                         std::span<const uint8_t, kIdentifyBytes> identify);

// The line that names the code mode: "ROM Code Mode", "MPISP Code Mode", or
// "" under the normal firmware (which has no line of its own).
std::string CodeModeLine(uint8_t cardMode);

// cardInfo: the drive's CardInfoTable entry; identify: its IDENTIFY data.
DeviceInfo BuildDeviceInfo(const std::string& deviceName, std::span<const uint8_t, kCardInfoEntrySize> cardInfo,
                           std::span<const uint8_t, kIdentifyBytes> identify);

// "Flash Vendor: ..." for the flash maker's ID byte, and the maker's name
// alone ("SAMSUNG", ..., "Unknown").
std::string FlashVendorLine(uint8_t makerId);
std::string FlashVendorName(uint8_t makerId);

// The capacity in MB: the 48-bit sector count of words 100-103 when word 83
// is valid (bits 15-14 are 01) and has bit 10 set, else the sector count of
// words 60-61; / 2,048. Computed and printed in 64 bits.
int64_t CapacityMegabytes(std::span<const uint8_t, kIdentifyBytes> identify);

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
