#include "sim/wear_model.h"

#include <algorithm>
#include <cmath>

#include "sim/sim_hash.h"

namespace dozered::sim {

WearModel::WearModel(const DriveConfig& config) {
  const int count = config.geometry.TotalFBlocks();
  base_.assign(static_cast<size_t>(std::max(count, 0)), 0);
  slc_.assign(base_.size(), 0);
  const double mu = std::max(config.averageEraseCount, 0);
  const double sigma = std::min(0.04 * mu + 5.0, 25.0);
  for (int b = 0; b < count; ++b) {
    const uint64_t h1 = Hash(config.seed, HashDomain::kPreAgedEraseCount, static_cast<uint64_t>(b), 0);
    const uint64_t h2 = Hash(config.seed, HashDomain::kPreAgedEraseCount, static_cast<uint64_t>(b), 1);
    const uint64_t h3 = Hash(config.seed, HashDomain::kPreAgedEraseCount, static_cast<uint64_t>(b), 2);
    double value;
    if (mu <= 0) {
      value = 0;
    } else if (b < kEraseCountStartBlock) {
      value = mu / 20.0 + static_cast<double>(h1 % 8);  // system blocks are rewritten rarely
    } else if (UnitFromHash(h3) < 0.003) {
      value = mu * (2.0 + 2.0 * UnitFromHash(h1));  // hot block
    } else {
      value = std::round(mu + sigma * NormalFromHash(h1, h2));
      value = std::clamp(value, std::max(mu - 100.0, 0.0), mu + 100.0);
    }
    base_[static_cast<size_t>(b)] = static_cast<uint16_t>(std::min(value, 32000.0));
    slc_[static_cast<size_t>(b)] = (b >= kEraseCountStartBlock && (h3 >> 40) % 100 == 0) ? 1 : 0;
  }
}

}  // namespace dozered::sim
