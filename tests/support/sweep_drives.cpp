#include "support/sweep_drives.h"

#include "sim/simulated_drive.h"
#include "support/protocol_rig.h"

namespace dozered::testing {

namespace {

std::shared_ptr<VirtualDrive> Simulated(sim::CommandIntercept intercept, sim::Transport transport) {
  sim::DriveConfig config;
  config.intercept = intercept;
  config.transport = transport;
  return std::make_shared<sim::SimulatedDrive>(config);
}

// A drive left in vendor mode by a failed run serves ordinary sectors again
// after the leave read.
void LeaveVendorMode(ProtocolRig& rig) { rig.PeekSectors(0x1234, 1); }

}  // namespace

std::vector<SweepDrive> SweepDrives() {
  return {
      {"StoresBlocksScsi", [] { return MakeSignedPlainDisk(); }, true, [](ProtocolRig&) {}},
      {"StoresBlocksAta",
       [] {
         PlainDiskOptions o;
         o.answersAta = true;
         return MakeSignedPlainDisk("VE4810VO", o);
       },
       true, [](ProtocolRig&) {}},
      {"SimTakesCommandsAta", [] { return Simulated(sim::CommandIntercept::kAtMainAddress, sim::Transport::kSata); },
       false, LeaveVendorMode},
      {"SimTakesCommandsScsi", [] { return Simulated(sim::CommandIntercept::kAtMainAddress, sim::Transport::kScsi); },
       false, LeaveVendorMode},
      {"SimTakesCommandsAt0x0789", [] { return Simulated(sim::CommandIntercept::kAtFallbackAddress, sim::Transport::kSata); },
       false, LeaveVendorMode},
      {"SimStoresBlocks", [] { return Simulated(sim::CommandIntercept::kNone, sim::Transport::kSata); },
       false, LeaveVendorMode},
  };
}

}  // namespace dozered::testing
