#include "app/platform_setup.h"

#include <filesystem>

#include "device/virtual_platform.h"
#include "sim/virtual_drives_ini.h"
#if defined(__linux__)
#include "device/linux_storage_platform.h"
#elif defined(_WIN32) && __has_include("device/windows_storage_platform.h")
#include "device/windows_storage_platform.h"
#define DOZERED_HAS_WINDOWS_PLATFORM 1
#endif

namespace dozered {

namespace {

std::unique_ptr<StoragePlatform> SystemPlatform() {
#if defined(__linux__)
  return std::make_unique<LinuxStoragePlatform>();
#elif defined(DOZERED_HAS_WINDOWS_PLATFORM)
  return std::make_unique<WindowsStoragePlatform>();
#else
  return std::make_unique<VirtualPlatform>();
#endif
}

}  // namespace

void SetUpStoragePlatform(AppState& state, const std::string& virtualDrivesIni) {
  state.Enumerator.reset();
  std::error_code error;
  if (std::filesystem::is_regular_file(virtualDrivesIni, error)) {
    state.Platform = std::make_unique<VirtualPlatform>(LoadVirtualDrives(virtualDrivesIni));
  } else {
    state.Platform = SystemPlatform();
  }
  state.Enumerator = std::make_unique<AspiLib>(*state.Platform);
}

}  // namespace dozered
