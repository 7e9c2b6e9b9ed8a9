#include "sim/fault_injector.h"

namespace dozered::sim {

FaultInjector::Verdict FaultInjector::OnSectorAccess(bool write, uint64_t lba, uint32_t count) {
  if (gone_) return Verdict::kGone;
  ++accesses_;
  if (plan_.failAfterAccess != 0 && accesses_ > plan_.failAfterAccess) {
    gone_ = true;
    return Verdict::kGone;
  }
  if (plan_.failNthAccess != 0 && accesses_ == plan_.failNthAccess) return Verdict::kMediumError;
  if (plan_.failLba >= 0) {
    const uint64_t bad = static_cast<uint64_t>(plan_.failLba);
    if (bad >= lba && bad < lba + (count == 0 ? 1 : count)) return Verdict::kMediumError;
  }
  if (write && plan_.failWrites) return Verdict::kMediumError;
  return Verdict::kPass;
}

}  // namespace dozered::sim
