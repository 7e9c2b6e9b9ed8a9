#include "support/sim_code_loading.h"

#include <algorithm>
#include <cstring>

#include "support/sim_vendor_host.h"

namespace dozered::testing {

int LoadDiagnostic(VirtualDrive& drive, const std::vector<uint8_t>& file) {
  uint32_t address = 0xE400;
  size_t start = 0;
  if (file.size() >= 1024 && std::memcmp(file.data(), "DGISPHEADER", 11) == 0) {
    address = static_cast<uint32_t>(file[16]) | (static_cast<uint32_t>(file[17]) << 8) |
              (static_cast<uint32_t>(file[18]) << 16) | (static_cast<uint32_t>(file[19]) << 24);
    start = 1024;
  }
  std::vector<uint8_t> payload(3072, 0);
  std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(start), std::min<size_t>(3072, file.size() - start),
              payload.begin());
  Sector command = CommandBlock(0xF0, 0x2B);
  command[4] = static_cast<uint8_t>(address >> 24);
  command[5] = static_cast<uint8_t>(address >> 16);
  command[6] = static_cast<uint8_t>(address >> 8);
  command[7] = static_cast<uint8_t>(address);
  command[10] = 0;
  command[11] = 6;
  return ExchangeOut(drive, command, payload.data(), 3072);
}

int LoadMpisp(VirtualDrive& drive, const std::vector<uint8_t>& file) {
  const uint32_t address = static_cast<uint32_t>(file[6]) | (static_cast<uint32_t>(file[7]) << 8) |
                           (static_cast<uint32_t>(file[8]) << 16) | (static_cast<uint32_t>(file[9]) << 24);
  const size_t imageBytes = file.size() - 1024;
  const size_t pieces = (imageBytes + 65535) / 65536;
  std::vector<uint8_t> image(pieces * 65536, 0);
  std::copy(file.begin() + 1024, file.end(), image.begin());
  for (size_t i = 0; i < pieces; ++i) {
    const size_t left = imageBytes - i * 65536;
    const uint32_t sectors = left >= 65536 ? 128 : static_cast<uint32_t>((left + 511) / 512);
    Sector command = CommandBlock(0xF1, 0x27);
    const uint32_t at = address + static_cast<uint32_t>(i * 65536);
    for (int b = 0; b < 4; ++b) command[static_cast<size_t>(6 + b)] = static_cast<uint8_t>(at >> (8 * b));
    const int r = ExchangeOut(drive, command, image.data() + i * 65536, sectors * 512);
    if (r != 0) return r;
  }
  Sector jump = CommandBlock(0xF1, 0x28);
  for (int b = 0; b < 4; ++b) jump[static_cast<size_t>(6 + b)] = static_cast<uint8_t>(address >> (8 * b));
  return ExchangeOut(drive, jump, image.data(), 512);
}

int CardModeOf(VirtualDrive& drive) {
  int result = 0;
  const std::vector<uint8_t> reply = ReadReply(drive, CommandBlock(0xF0, 0x20), 2048, &result);
  return result == 0 ? reply[10] : -1;
}

}  // namespace dozered::testing
