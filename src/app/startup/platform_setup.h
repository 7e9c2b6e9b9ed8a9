// Chooses the storage platform at start-up: the simulated drives declared in
// VirtualDrives.ini when that file is in the working directory, else the
// drives of the system the tool runs on.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "app/app_state.h"

namespace dozered {

inline constexpr char kVirtualDrivesIni[] = "VirtualDrives.ini";

// Sets AppState::Platform and AppState::Enumerator. Returns notes for the
// user about VirtualDrives.ini: a file that is there but cannot be used
// (then no drive is served), or drives beyond the 32 the enumerator holds,
// which are left out.
std::vector<std::string> SetUpStoragePlatform(AppState& state,
                                              const std::filesystem::path& virtualDrivesIni = kVirtualDrivesIni);

// Sets AppState::Platform and AppState::Enumerator to the drives of the
// system the tool runs on, whatever the working directory holds.
void SetUpSystemStoragePlatform(AppState& state);

}  // namespace dozered
