// Puts simulated drives behind the process-wide state: a Virtual platform
// whose disks are simulated VE4810VO drives (each wrapped in a WireRecorder)
// and the enumerator over it, as start-up does with VirtualDrives.ini.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "device/aspi_lib.h"
#include "device/virtual_platform.h"
#include "sim/drive_config.h"
#include "sim/simulated_drive.h"
#include "support/wire_recorder.h"

namespace dozered::testing {

// A drive of the simulator's defaults talking plain SCSI, so that the wire
// recorder sees every sector access as READ(10) / WRITE(10).
inline sim::DriveConfig ControllerDrive(int cardMode, uint64_t seed = 1) {
  sim::DriveConfig config;
  config.transport = sim::Transport::kScsi;
  config.cardMode = cardMode;
  config.seed = seed;
  return config;
}

inline sim::DriveConfig PlainDisk() {
  sim::DriveConfig config;
  config.kind = sim::DriveKind::kPlainDisk;
  config.transport = sim::Transport::kScsi;
  return config;
}

// Installs one disk per configuration on port 2, targets 0, 1, 2 ... and
// returns the recorders in disk order.
inline std::vector<std::shared_ptr<WireRecorder>> InstallDrives(
    AppState& state, const std::vector<sim::DriveConfig>& configs) {
  std::vector<std::shared_ptr<WireRecorder>> recorders;
  std::vector<VirtualDisk> disks;
  for (size_t i = 0; i < configs.size(); ++i) {
    auto recorder = std::make_shared<WireRecorder>(std::make_shared<sim::SimulatedDrive>(configs[i]));
    VirtualDisk disk;
    disk.label = configs[i].label;
    disk.drive = recorder;
    disk.options.port = 2;
    disk.options.target = static_cast<int>(i);
    disks.push_back(std::move(disk));
    recorders.push_back(std::move(recorder));
  }
  state.Enumerator.reset();
  state.Platform = std::make_unique<VirtualPlatform>(std::move(disks));
  state.Enumerator = std::make_unique<AspiLib>(*state.Platform);
  return recorders;
}

}  // namespace dozered::testing
