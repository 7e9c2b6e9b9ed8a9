#include "support/sweep_drives.h"

#include "support/protocol_rig.h"

namespace dozered::testing {

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
  };
}

}  // namespace dozered::testing
