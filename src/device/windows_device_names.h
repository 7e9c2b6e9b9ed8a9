// The Windows device paths and short names of disks, volumes and SCSI port
// devices. Used by the Windows platform and by the Virtual platform, which
// names its devices the same way.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace dozered {

inline void WindowsDiskNames(int32_t diskNumber, std::string& path, std::string& name) {
  char text[64];
  std::snprintf(text, sizeof(text), "\\\\.\\PHYSICALDRIVE%d", static_cast<int>(diskNumber));
  path = text;
  std::snprintf(text, sizeof(text), "PHYSICALDRIVE%d", static_cast<int>(diskNumber));
  name = text;
}

inline void WindowsVolumeNames(char letter, std::string& path, std::string& name) {
  char text[16];
  std::snprintf(text, sizeof(text), "\\\\.\\%c:", letter);
  path = text;
  std::snprintf(text, sizeof(text), "%c:", letter);
  name = text;
}

inline std::string WindowsScsiPortPath(int32_t port) {
  char text[32];
  std::snprintf(text, sizeof(text), "%s%d:", "\\\\.\\Scsi", static_cast<int>(port));
  return text;
}

}  // namespace dozered
