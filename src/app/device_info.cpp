#include "app/device_info.h"

#include <cstdio>

namespace dozered {

namespace {

struct FlashMaker {
  uint8_t id;
  const char* line;
};

constexpr FlashMaker kFlashMakers[] = {
    {0xEC, "Flash Vendor: SAMSUNG"}, {0x98, "Flash Vendor: TOSHIBA"},
    {0xC1, "Flash Vendor: INFINEON"}, {0x45, "Flash Vendor: SANDISK"},
    {0xAD, "Flash Vendor: HYNIX"},   {0x2C, "Flash Vendor: MICRON"},
    {0x89, "Flash Vendor: INTEL"},   {0x20, "Flash Vendor: ST"},
    {0x07, "Flash Vendor: AGAND"},
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

std::string FlashVendorLine(uint8_t makerId) {
  for (const FlashMaker& maker : kFlashMakers) {
    if (maker.id == makerId) return maker.line;
  }
  return "Flash Vendor: Unknown";
}

int64_t CapacityMegabytes(const uint8_t* identify) {
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

std::string SwappedIdentifyText(const uint8_t* identify, size_t firstByte, size_t length) {
  std::string text;
  for (size_t i = 0; i < length; ++i) {
    const char c = static_cast<char>(identify[firstByte + (i ^ 1)]);
    if (c == '\0') break;
    text.push_back(c);
  }
  return text;
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

DeviceInfo BuildDeviceInfo(const std::string& deviceName, const uint8_t* cardInfo,
                           const uint8_t* identify) {
  DeviceInfo info;
  const CardInfo card(std::span<const uint8_t>(cardInfo, kCardInfoSize));
  const uint8_t mode = card.CardMode();
  info.lines.push_back(deviceName);
  info.lines.push_back("IC Controller: VE4810VO");
  if (mode == kCardModeRomCode) {
    info.lines.push_back("ROM Code Mode");
  } else if (mode == kCardModeMpisp) {
    info.lines.push_back("MPISP Code Mode");
    info.lines.push_back(TemperatureLine(card.Temperature()));
  }
  info.lines.push_back("Serial Number: " + SwappedIdentifyText(identify, 20, 20));
  info.lines.push_back("Model Name: " + SwappedIdentifyText(identify, 54, 40));
  info.lines.push_back("Firmware Rev: " + SwappedIdentifyText(identify, 46, 8));
  char capacity[48];
  std::snprintf(capacity, sizeof capacity, "Capacity: %lld MB",
                static_cast<long long>(CapacityMegabytes(identify)));
  info.lines.push_back(capacity);
  info.lines.push_back(FlashVendorLine(card.FlashMakerCode()));
  info.romCodeMode = mode == kCardModeRomCode;
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
