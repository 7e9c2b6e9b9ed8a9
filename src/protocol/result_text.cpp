#include "protocol/result_text.h"

#include <cstdio>

#include "protocol/result_codes.h"

namespace dozered {

std::string ResultCodeNote(int32_t code, uint32_t commandAddress) {
  const char* format = nullptr;
  if (code == kResultRestoreFailed) {
    format = "LBA 0x%04X could not be written back: from there on the drive may hold vendor command data "
             "instead of your data.";
  } else if (code == kResultCommandAddressUnknown) {
    format = "LBA 0x%04X could not be read back: it may hold a vendor command block instead of your data.";
  }
  if (format == nullptr) return {};
  char text[160];
  std::snprintf(text, sizeof text, format, static_cast<unsigned>(commandAddress));
  return text;
}

std::string FormatResultMessage(const char* format, int32_t code, uint32_t commandAddress) {
  char text[96];
  std::snprintf(text, sizeof text, format, static_cast<int>(code));
  std::string message = text;
  const std::string note = ResultCodeNote(code, commandAddress);
  if (!note.empty()) message += " " + note;
  return message;
}

}  // namespace dozered
