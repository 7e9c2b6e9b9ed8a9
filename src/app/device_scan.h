// The device scan: which attached drives carry a VE4810VO controller, their
// records, and the list entries and device information the window shows.
#pragma once

#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/device_info.h"

namespace dozered {

class Feedback;

inline constexpr char kScanningText[] = "Waitting scan device......";
inline constexpr char kScanCompleteText[] = "Scan device complete";
inline constexpr char kRomCodeModeWarning[] = "ROM Code Mode Device!";
inline constexpr char kWarningCaption[] = "Warning";

// Frees the enumerator's records before a rescan.
void ResetEnumerator(AppState& state);

// Probes every record of a fresh enumeration and keeps up to eight drives that
// carry the controller (a "VE4810VI" drive only in code mode 0 or 1): fills
// Controllers, CardInfoTable, IdentifyTable and IspInfoTable slot by slot and
// sets DeviceCount.
void ScanForControllers(AppState& state);

// After a scan: selects the first drive (or none), clears RawViewFlags and
// returns the list entries "%s (%d, %d)" of the kept drives, entry i for
// device index i.
std::vector<std::string> FinishScan(AppState& state);

// What the status line says after a scan that kept no drive: how many disks
// were looked at and, when some could not be opened for lack of rights, that
// they need administrator or root rights.
std::string NoDriveText(const AppState& state);

// The device information of the selected drive (no lines when none is).
DeviceInfo SelectedDeviceInfo(const AppState& state);

// The pages to keep for device index `device`. With no drive (-1) nothing is
// known about a code mode: the pages TabSheet.ini enabled stay as they are
// (the page control is disabled then anyway).
PageRule PageRuleFor(const AppState& state, int device);

}  // namespace dozered
