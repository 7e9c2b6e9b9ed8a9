#include "app/startup/platform_setup.h"

#include <cstdio>

#include "app/config_file.h"
#include "app/paths.h"
#include "device/system_storage_platform.h"
#include "device/virtual_platform.h"
#include "sim/virtual_drives_ini.h"

namespace dozered {

std::vector<std::string> SetUpStoragePlatform(AppState& state, const std::filesystem::path& virtualDrivesIni) {
  std::vector<std::string> notes;
  state.Enumerator.reset();
  const ConfigText file = ReadConfigText(virtualDrivesIni);
  if (file.state == ConfigFileState::kReadable) {
    // A drive the enumerator cannot hold would never be listed; building it
    // would only cost memory.
    size_t declared = 0;
    const auto drives = sim::ParseVirtualDrivesIni(file.text, virtualDrivesIni.parent_path().string(),
                                                   AspiLib::kMaxRecords, &declared);
    if (declared > drives.size()) {
      char note[256];
      std::snprintf(note, sizeof note, "%.120s declares %zu drives; only the first %zu are used",
                    PathText(virtualDrivesIni).c_str(), declared, drives.size());
      notes.push_back(note);
    }
    state.Platform = std::make_unique<VirtualPlatform>(MakeVirtualDisks(drives));
  } else if (file.state == ConfigFileState::kMissing) {
    SetUpSystemStoragePlatform(state);
    return notes;
  } else {
    // The simulated drives were asked for: a file that cannot be used gives
    // none, rather than the system's own disks in their place.
    notes.push_back(ConfigFileNote(file.state, PathText(virtualDrivesIni)));
    state.Platform = std::make_unique<VirtualPlatform>();
  }
  state.Enumerator = std::make_unique<AspiLib>(*state.Platform);
  return notes;
}

void SetUpSystemStoragePlatform(AppState& state) {
  state.Enumerator.reset();
  state.Platform = CreateSystemStoragePlatform();
  if (!state.Platform) state.Platform = std::make_unique<VirtualPlatform>();
  state.Enumerator = std::make_unique<AspiLib>(*state.Platform);
}

}  // namespace dozered
