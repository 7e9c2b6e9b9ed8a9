#include "sim/flash_read_model.h"

#include <algorithm>

#include "sim/sim_hash.h"

namespace dozered::sim {
namespace {

class IdealReadModel final : public FlashReadModel {
 public:
  void ApplyRead(const PageReadContext&, uint8_t*, size_t) const override {}

  uint8_t CorrectedBits(const PageReadContext& context, int retryLevel, int chunk) const override {
    if (!context.programmed) return 0;
    // A few corrected bits that grow with wear and shrink with the retry level.
    const uint64_t address = (static_cast<uint64_t>(context.page.page) << 32) |
                             (static_cast<uint64_t>(context.page.block.blockInCe) << 8) |
                             static_cast<uint64_t>(chunk + 1);
    const uint64_t h = Hash(context.seed, HashDomain::kReadNoise, address, static_cast<uint64_t>(retryLevel));
    const int base = static_cast<int>(context.eraseCount / 400);
    const int bits = std::max(0, base + static_cast<int>(h % 3) - retryLevel / 2);
    return static_cast<uint8_t>(std::min(bits, 0xFE));
  }
};

}  // namespace

std::unique_ptr<FlashReadModel> MakeIdealReadModel() { return std::make_unique<IdealReadModel>(); }

}  // namespace dozered::sim
