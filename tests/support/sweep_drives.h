// The drives the data-safety sweep runs on.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "device/virtual_drive.h"

namespace dozered::testing {

class ProtocolRig;

struct SweepDrive {
  const char* name;
  std::function<std::shared_ptr<VirtualDrive>()> make;
  bool signatureInUserData;  // the unlock signature is user data in sector 0x55AA
  // Brings the drive back to ordinary sector access after a failed run
  // (before its sectors are compared).
  std::function<void(ProtocolRig&)> settle;
};

std::vector<SweepDrive> SweepDrives();

}  // namespace dozered::testing
