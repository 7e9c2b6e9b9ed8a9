// Chooses the storage platform at start-up: the simulated drives declared in
// VirtualDrives.ini when that file is in the working directory, else the
// drives of the system the tool runs on.
#pragma once

#include <string>

#include "app/app_state.h"

namespace dozered {

inline constexpr char kVirtualDrivesIni[] = "VirtualDrives.ini";

// Sets AppState::Platform and AppState::Enumerator.
void SetUpStoragePlatform(AppState& state, const std::string& virtualDrivesIni = kVirtualDrivesIni);

}  // namespace dozered
