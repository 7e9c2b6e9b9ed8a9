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

// Makes a Virtual platform serving `drives` on port 2, targets 0, 1, 2 ...
// (labelled from `labels` where given) the process-wide platform, with the
// enumerator over it, and returns it.
inline VirtualPlatform& InstallDisks(AppState& state, const std::vector<std::shared_ptr<VirtualDrive>>& drives,
                                     const std::vector<std::string>& labels = {}) {
  std::vector<VirtualDisk> disks;
  for (size_t i = 0; i < drives.size(); ++i) {
    VirtualDisk disk;
    if (i < labels.size()) disk.label = labels[i];
    disk.drive = drives[i];
    disk.options.port = 2;
    disk.options.target = static_cast<int>(i);
    disks.push_back(std::move(disk));
  }
  state.Enumerator.reset();
  auto platform = std::make_unique<VirtualPlatform>(std::move(disks));
  VirtualPlatform& installed = *platform;
  state.Platform = std::move(platform);
  state.Enumerator = std::make_unique<AspiLib>(*state.Platform);
  return installed;
}

// Installs one simulated drive per configuration, each behind a wire
// recorder, as InstallDisks does, and returns the recorders in disk order.
inline std::vector<std::shared_ptr<WireRecorder>> InstallDrives(
    AppState& state, const std::vector<sim::DriveConfig>& configs) {
  std::vector<std::shared_ptr<WireRecorder>> recorders;
  std::vector<std::shared_ptr<VirtualDrive>> drives;
  std::vector<std::string> labels;
  for (const sim::DriveConfig& config : configs) {
    recorders.push_back(std::make_shared<WireRecorder>(std::make_shared<sim::SimulatedDrive>(config)));
    drives.push_back(recorders.back());
    labels.push_back(config.label);
  }
  InstallDisks(state, drives, labels);
  return recorders;
}

}  // namespace dozered::testing
