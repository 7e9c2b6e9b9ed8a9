// The process-wide state of the tool. One AppState is created before the
// main window and destroyed after it; every operation works on it.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "device/aspi_lib.h"
#include "device/storage_platform.h"
#include "protocol/ve4810vo.h"

namespace dozered {

inline constexpr int kMaxControllers = 8;
inline constexpr int kPageCount = 14;
inline constexpr int kAttributeNameCount = 256;
inline constexpr int kAttributeNameSize = 100;
inline constexpr int kCardInfoEntrySize = 2048;
inline constexpr int kSharedBufferSize = 65536;
inline constexpr int kDumpTextBufferSize = 327761;

struct AppState {
  int32_t DeviceCount = 0;
  int32_t SelectedDevice = -1;

  std::array<std::array<uint8_t, kCardInfoEntrySize>, kMaxControllers> CardInfoTable{};
  std::array<std::array<uint8_t, 512>, kMaxControllers> IdentifyTable{};
  std::array<std::array<uint8_t, 512>, kMaxControllers> IspInfoTable{};
  std::array<std::array<char, kAttributeNameSize>, kAttributeNameCount> AttributeNames{};
  std::array<uint8_t, kPageCount> PageEnabled{};

  uint8_t FlashOption = 0x21;
  uint8_t FlashChCe = 0x00;

  std::array<uint8_t, kSharedBufferSize> PageDataBuffer{};
  std::array<uint8_t, kSharedBufferSize> FlashPageBuffer{};
  std::array<char, kDumpTextBufferSize> DumpTextBuffer{};
  std::array<uint8_t, 32> RawViewFlags{};

  std::string LogFolderName;
  // Folder of the running executable, set once at start-up; files read
  // beside the executable are found there.
  std::filesystem::path ExecutableDir;
  bool SaveLogMode = false;
  bool EraseCountLogMode = false;
  bool SettingsAccepted = false;
  // Serial numbers are blanked in everything shown or saved (app/redaction.h).
  bool RedactSerialNumbers = false;

  // One controller object per detected drive, slot i for device index i.
  std::array<VE4810VO, kMaxControllers> Controllers{};
  // The controller the operation in progress talks to; none at start.
  VE4810VO* CurrentController = nullptr;

  // The storage platform the tool runs on (chosen at start-up) and the
  // enumerator over it. The enumerator is destroyed first, closing its records.
  std::unique_ptr<StoragePlatform> Platform;
  std::unique_ptr<AspiLib> Enumerator;
};

}  // namespace dozered
