// The address fields of the flash pages and what a command makes of them.
//
// The flash pages address one flash page with a few short text fields: block,
// page and chunk in hexadecimal, the option byte and the channel/CE byte as
// two hexadecimal digits each, and the "Sectors:" list for the transfer
// length. Every operation that sends a flash command reads them here, so that
// the Flash RW page, the scans, chunk ECC, the distribution and the headless
// front end agree on what a text means.
//
//   FlashAddressFields fields;          // the texts as the page shows them
//   fields.Block = "01A0";
//   fields.SectorIndex = 4;             // "16 K"
//   FlashTarget t = ParseFlashTarget(fields);
//   controller.ReadFlash(t.Address, t.ReadSectors, buffer);
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "protocol/command_block.h"

namespace dozered {

// Character limits of the fields: how many characters a read looks at, and
// how many the page lets the user type.
inline constexpr size_t kBlockFieldChars = 4;
inline constexpr size_t kPageFieldChars = 4;
inline constexpr size_t kChunkFieldChars = 2;
inline constexpr size_t kChunkFieldMaxLength = 4;
inline constexpr size_t kOptionFieldChars = 2;
inline constexpr size_t kFillDataFieldChars = 2;
inline constexpr size_t kPageCountFieldChars = 4;

// The "Sectors:" list: item k means 2^(k+1) data sectors ("1 K" to "32 K").
inline constexpr int kSectorItemCount = 6;
inline constexpr const char* kSectorItems[kSectorItemCount] = {"1 K", "2 K", "4 K", "8 K", "16 K", "32 K"};

// Bits of the option byte (FlashOption) and of the channel/CE byte (FlashChCe).
namespace flash_option {
inline constexpr uint8_t kScramble = 0x01;
inline constexpr uint8_t kEccOff = 0x02;
inline constexpr uint8_t kOnePlane = 0x04;
inline constexpr uint8_t kSpareNotRead = 0x08;
inline constexpr uint8_t kStrongPage = 0x10;
inline constexpr uint8_t kReadRetry = 0x20;
inline constexpr uint8_t kPlaneMask = 0xC0;
inline constexpr int kPlaneShift = 6;
inline constexpr uint8_t kStartUp = kScramble | kReadRetry;  // 0x21
}  // namespace flash_option

namespace flash_chce {
inline constexpr uint8_t kChannelMask = 0x07;
inline constexpr uint8_t kInterleaveMask = 0x38;
inline constexpr int kInterleaveShift = 3;
inline constexpr uint8_t kMaxEcc = 0x40;
}  // namespace flash_chce

// The texts of the fields that address a flash page, and the index of the
// "Sectors:" item.
struct FlashAddressFields {
  std::string Block = "0000";
  std::string Page = "0000";
  std::string Chunk = "00";
  std::string Option = "00";  // the option byte as the page shows it
  std::string ChCe = "00";    // the channel/CE byte as the page shows it
  int SectorIndex = 0;
};

// What a command is sent with: the flash address, and the transfer lengths.
struct FlashTarget {
  FlashAddress Address;
  uint32_t DataSectors = 2;  // D: the data sectors of the page (written by Write)
  uint32_t ReadSectors = 3;  // N = D + 1: data and the spare sector behind it
};

// D for "Sectors:" item `index`; an index outside the list counts as item 0.
uint32_t DataSectorsForItem(int index);
// N = D + 1.
uint32_t ReadSectorsForItem(int index);

// Reads the fields as every flash command does: block and page by ParseHex
// with 4 characters, chunk, option and channel/CE with 2.
FlashTarget ParseFlashTarget(const FlashAddressFields& fields);

// The two bytes as their fields show them ("%02X").
std::string ByteText(uint8_t value);

// The three displays of the Flash RW page, computed from the bytes: plane
// (option bits 6-7), channel (channel/CE bits 0-2) and interleave (bits 3-5).
std::string PlaneDisplay(uint8_t flashOption);
std::string ChannelDisplay(uint8_t flashChCe);
std::string InterleaveDisplay(uint8_t flashChCe);

// The text of a stepper field (block, page, chunk) as a number: the whole
// text must be hexadecimal digits (a "0x" the user typed is not taken, as
// the stepper puts its own in front); nothing when it does not convert or
// exceeds 32 bits.
std::optional<uint32_t> ParseStepperText(std::string_view text);

// The transfer rate field as a number: the whole text in decimal digits, at
// most 65535 (it is sent as 16 bits); nothing when it does not convert.
std::optional<uint16_t> ParseTransferRate(std::string_view text);

// The error shown when a field does not convert, naming the field and text.
std::string NotAHexNumberText(std::string_view field, std::string_view text);
std::string NotATransferRateText(std::string_view text);

}  // namespace dozered
