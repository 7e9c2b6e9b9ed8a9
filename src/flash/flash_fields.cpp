#include "flash/flash_fields.h"

#include <cstdio>

#include "decode/text_helpers.h"

namespace dozered {

uint32_t DataSectorsForItem(int index) {
  if (index < 0 || index >= kSectorItemCount) index = 0;
  return 2u << index;
}

uint32_t ReadSectorsForItem(int index) { return DataSectorsForItem(index) + 1; }

FlashTarget ParseFlashTarget(const FlashAddressFields& fields) {
  FlashTarget target;
  target.Address.block = ParseHex(fields.Block, kBlockFieldChars) & 0xFFFF;
  target.Address.page = ParseHex(fields.Page, kPageFieldChars) & 0xFFFF;
  target.Address.chunk = static_cast<uint8_t>(ParseHex(fields.Chunk, kChunkFieldChars));
  target.Address.option = static_cast<uint8_t>(ParseHex(fields.Option, kOptionFieldChars));
  target.Address.chCe = static_cast<uint8_t>(ParseHex(fields.ChCe, kOptionFieldChars));
  target.DataSectors = DataSectorsForItem(fields.SectorIndex);
  target.ReadSectors = target.DataSectors + 1;
  return target;
}

std::string ByteText(uint8_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(value));
  return text;
}

std::string PlaneDisplay(uint8_t flashOption) {
  return ByteText(static_cast<uint8_t>((flashOption & flash_option::kPlaneMask) >> flash_option::kPlaneShift));
}

std::string ChannelDisplay(uint8_t flashChCe) {
  return ByteText(static_cast<uint8_t>(flashChCe & flash_chce::kChannelMask));
}

std::string InterleaveDisplay(uint8_t flashChCe) {
  return ByteText(static_cast<uint8_t>((flashChCe & flash_chce::kInterleaveMask) >> flash_chce::kInterleaveShift));
}

std::optional<uint32_t> ParseStepperText(std::string_view text) {
  if (text.empty() || text.size() > 8) return std::nullopt;
  uint32_t value = 0;
  for (char c : text) {
    uint32_t digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<uint32_t>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<uint32_t>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<uint32_t>(c - 'A' + 10);
    } else {
      return std::nullopt;
    }
    value = value * 16 + digit;
  }
  return value;
}

std::optional<uint16_t> ParseTransferRate(std::string_view text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  uint32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint32_t>(c - '0');
  }
  if (value > 0xFFFF) return std::nullopt;
  return static_cast<uint16_t>(value);
}

std::string NotAHexNumberText(std::string_view field, std::string_view text) {
  return std::string(field) + ": \"" + std::string(text) + "\" is not a hexadecimal number";
}

std::string NotATransferRateText(std::string_view text) {
  return "Transfer rate: \"" + std::string(text) + "\" is not a number from 0 to 65535";
}

}  // namespace dozered
