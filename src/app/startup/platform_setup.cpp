#include "app/startup/platform_setup.h"

#include <filesystem>

#include "device/system_storage_platform.h"
#include "device/virtual_platform.h"
#include "sim/virtual_drives_ini.h"

namespace dozered {

void SetUpStoragePlatform(AppState& state, const std::string& virtualDrivesIni) {
  state.Enumerator.reset();
  std::error_code error;
  if (std::filesystem::is_regular_file(virtualDrivesIni, error)) {
    state.Platform = std::make_unique<VirtualPlatform>(LoadVirtualDrives(virtualDrivesIni));
  } else {
    state.Platform = CreateSystemStoragePlatform();
    if (!state.Platform) state.Platform = std::make_unique<VirtualPlatform>();
  }
  state.Enumerator = std::make_unique<AspiLib>(*state.Platform);
}

}  // namespace dozered
