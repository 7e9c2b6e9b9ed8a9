#include "app/redaction.h"

#include <algorithm>
#include <string>

namespace dozered {

namespace {

constexpr size_t kShortestSearchedSerial = 4;
constexpr uint8_t kBlank = ' ';

void BlankEvery(std::span<uint8_t> bytes, std::span<const uint8_t> pattern) {
  if (pattern.empty() || pattern.size() > bytes.size()) return;
  auto at = bytes.begin();
  while ((at = std::search(at, bytes.end(), pattern.begin(), pattern.end())) != bytes.end()) {
    std::fill_n(at, pattern.size(), kBlank);
    at += static_cast<std::ptrdiff_t>(pattern.size());
  }
}

bool IsPadding(uint8_t c) { return c == ' ' || c == 0; }

}  // namespace

void BlankSerialNumber(std::span<uint8_t> bytes, std::span<const uint8_t, kIdentifyBytes> identify) {
  const std::span<const uint8_t> field = identify.subspan(kSerialNumberOffset, kSerialNumberLength);
  if (std::all_of(field.begin(), field.end(), IsPadding)) return;
  BlankEvery(bytes, field);
  std::string text = AtaText(identify, kSerialNumberOffset, kSerialNumberLength);
  const size_t first = text.find_first_not_of(' ');
  const size_t last = text.find_last_not_of(' ');
  if (first == std::string::npos) return;
  text = text.substr(first, last - first + 1);
  if (text.size() < kShortestSearchedSerial) return;
  BlankEvery(bytes, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

void RedactIdentify(std::span<uint8_t, kIdentifyBytes> identify) {
  std::fill_n(identify.begin() + kSerialNumberOffset, kSerialNumberLength, kBlank);
}

IdentifyBlock IdentifyAsShown(const AppState& state, int device) {
  IdentifyBlock block{};
  if (device < 0 || device >= kMaxControllers) return block;
  block = state.IdentifyTable[static_cast<size_t>(device)];
  if (state.RedactSerialNumbers) RedactIdentify(block);
  return block;
}

void RedactRecord(const AppState& state, int device, std::span<uint8_t> bytes) {
  if (!state.RedactSerialNumbers || device < 0 || device >= kMaxControllers) return;
  BlankSerialNumber(bytes, state.IdentifyTable[static_cast<size_t>(device)]);
}

}  // namespace dozered
