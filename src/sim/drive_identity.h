// The names and numbers a drive identifies itself with, completed from the
// seed where the configuration leaves them empty.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "sim/drive_config.h"

namespace dozered::sim {

struct DriveIdentity {
  std::string vendor;    // INQUIRY, 8 characters
  std::string product;   // INQUIRY, 16 characters
  std::string revision;  // INQUIRY, 4 characters
  std::string model;     // ATA model number, up to 40 characters
  std::string serial;    // ATA serial number, up to 20 characters
  std::string firmware;  // ATA firmware revision, 8 characters
  std::array<uint8_t, 16> ispVersion{};  // ISP version of the firmware
  std::array<uint8_t, 8> flashId{};      // ID bytes of every flash chip
  uint32_t capacity = 0;                 // user sectors (last LBA + 1)
  int capacityGb = 0;
};

DriveIdentity MakeDriveIdentity(const DriveConfig& config);

// Bytes of flash in all F-blocks.
uint64_t RawFlashBytes(const FlashGeometry& geometry);
// User sectors of a controller drive: 7 % of the raw flash kept back, the
// IDEMA count of the nominal size (97,696,368 + 1,953,504 x (GB - 50)), and
// never more than the translation layer can hold beside its system and bad
// blocks (which decides for the small drives of the tests).
uint32_t FlashCapacitySectors(const FlashGeometry& geometry);

// The 16-byte ISP version built from a folder name (up to 12 characters) and a
// 4-character tag.
std::array<uint8_t, 16> MakeIspVersion(const std::string& folder, const std::string& tag);

}  // namespace dozered::sim
