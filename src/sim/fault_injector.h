// Injected faults of a simulated drive: one failing sector access, a failing
// LBA, failing writes, or a drive that disappears after a number of accesses
// as if its cable had been pulled.
#pragma once

#include <cstdint>

#include "sim/drive_config.h"

namespace dozered::sim {

class FaultInjector {
 public:
  enum class Verdict { kPass, kMediumError, kGone };

  explicit FaultInjector(const FaultPlan& plan) : plan_(plan) {}

  // Counts one sector access and decides its fate.
  Verdict OnSectorAccess(bool write, uint64_t lba, uint32_t count);
  // True once the drive has gone; every request then fails to arrive.
  bool gone() const { return gone_; }
  uint64_t accesses() const { return accesses_; }

 private:
  FaultPlan plan_;
  uint64_t accesses_ = 0;
  bool gone_ = false;
};

}  // namespace dozered::sim
