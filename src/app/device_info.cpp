#include "app/device_info.h"

#include <cstdio>

namespace dozered {

namespace {

struct FlashMaker {
  uint8_t id;
  const char* name;
};

constexpr FlashMaker kFlashMakers[] = {
    {0xEC, "SAMSUNG"}, {0x98, "TOSHIBA"}, {0xC1, "INFINEON"}, {0x45, "SANDISK"}, {0xAD, "HYNIX"},
    {0x2C, "MICRON"},  {0x89, "INTEL"},   {0x20, "ST"},       {0x07, "AGAND"},
};

// Pages the code-mode rule names.
constexpr int kFlashIdPage = 0;
constexpr int kFlashRwPage = 7;
constexpr int kErrorLogPage = 13;

// IDENTIFY word 83: bit 10 says the 48-bit address feature set is
// supported, and the word is valid only when its bits 15-14 are 01 (a drive
// that leaves the word 0x0000 or 0xFFFF says nothing).
constexpr size_t kWord83HighByte = 167;
constexpr uint8_t kWord83ValidMask = 0xC0;
constexpr uint8_t kWord83Valid = 0x40;
constexpr uint8_t kLba48Bit = 0x04;

}  // namespace

std::string FlashVendorName(uint8_t makerId) {
  for (const FlashMaker& maker : kFlashMakers) {
    if (maker.id == makerId) return maker.name;
  }
  return "Unknown";
}

std::string FlashVendorLine(uint8_t makerId) { return "Flash Vendor: " + FlashVendorName(makerId); }

std::string CodeModeLine(uint8_t cardMode) {
  if (cardMode == kCardModeRomCode) return "ROM Code Mode";
  if (cardMode == kCardModeMpisp) return "MPISP Code Mode";
  return std::string();
}

int64_t CapacityMegabytes(std::span<const uint8_t, kIdentifyBytes> identify) {
  const uint8_t word83 = identify[kWord83HighByte];
  if ((word83 & kWord83ValidMask) == kWord83Valid && (word83 & kLba48Bit) != 0) {
    uint64_t sectors = 0;
    for (int i = 5; i >= 0; --i) sectors = sectors << 8 | identify[200 + i];
    return static_cast<int64_t>(sectors / 2048);
  }
  const uint32_t sectors = static_cast<uint32_t>(identify[120]) |
                           static_cast<uint32_t>(identify[121]) << 8 |
                           static_cast<uint32_t>(identify[122]) << 16 |
                           static_cast<uint32_t>(identify[123]) << 24;
  return static_cast<int64_t>(sectors >> 11);
}

std::string TemperatureLine(uint8_t reading) {
  char line[48];
  std::snprintf(line, sizeof line, "Temperature Sensor(D): %02d", reading);
  return line;
}

std::string DeviceListEntry(const std::string& deviceName, int32_t port, int32_t target) {
  char entry[160];
  std::snprintf(entry, sizeof entry, "%s (%d, %d)", deviceName.c_str(), port, target);
  return entry;
}

DriveIdentity IdentityOf(std::span<const uint8_t, kCardInfoEntrySize> cardInfo,
                         std::span<const uint8_t, kIdentifyBytes> identify) {
  const CardInfo card(cardInfo.first<kCardInfoSize>());
  DriveIdentity id;
  id.cardMode = card.CardMode();
  id.temperature = card.Temperature();
  id.serialNumber = AtaText(identify, kSerialNumberOffset, kSerialNumberLength);
  id.modelName = AtaText(identify, kModelNumberOffset, kModelNumberLength);
  id.firmwareRevision = AtaText(identify, kFirmwareRevisionOffset, kFirmwareRevisionLength);
  id.capacityMegabytes = CapacityMegabytes(identify);
  id.flashMakerId = card.FlashMakerCode();
  return id;
}

DeviceInfo BuildDeviceInfo(const std::string& deviceName, std::span<const uint8_t, kCardInfoEntrySize> cardInfo,
                           std::span<const uint8_t, kIdentifyBytes> identify) {
  DeviceInfo info;
  const DriveIdentity id = IdentityOf(cardInfo, identify);
  info.lines.push_back(deviceName);
  info.lines.push_back("IC Controller: VE4810VO");
  const std::string mode = CodeModeLine(id.cardMode);
  if (!mode.empty()) info.lines.push_back(mode);
  if (id.cardMode == kCardModeMpisp) info.lines.push_back(TemperatureLine(id.temperature));
  info.lines.push_back("Serial Number: " + id.serialNumber);
  info.lines.push_back("Model Name: " + id.modelName);
  info.lines.push_back("Firmware Rev: " + id.firmwareRevision);
  char capacity[48];
  std::snprintf(capacity, sizeof capacity, "Capacity: %lld MB", static_cast<long long>(id.capacityMegabytes));
  info.lines.push_back(capacity);
  info.lines.push_back(FlashVendorLine(id.flashMakerId));
  info.romCodeMode = id.cardMode == kCardModeRomCode;
  return info;
}

PageRule PagesForCardMode(uint8_t cardMode, const std::array<uint8_t, kPageCount>& pageEnabled) {
  static constexpr int kMpispPages[] = {0, 1, 3, 7, 8, 10, 13};
  PageRule rule;
  for (int p = 0; p < kPageCount; ++p) {
    if (pageEnabled[p] != 1) continue;
    bool keep = false;
    if (cardMode == kCardModeRomCode) {
      keep = p == kFlashIdPage;
    } else if (cardMode == kCardModeMpisp) {
      for (int allowed : kMpispPages) keep = keep || allowed == p;
      if (p == kFlashRwPage) rule.chunkEcc = ChunkEccButton::Hidden;
    } else {
      keep = p != kErrorLogPage;
      if (p == kFlashRwPage) rule.chunkEcc = ChunkEccButton::Shown;
    }
    rule.visible[p] = keep;
  }
  return rule;
}

}  // namespace dozered
