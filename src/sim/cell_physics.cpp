#include "sim/cell_physics.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "sim/sim_hash.h"

namespace dozered::sim {
namespace {

constexpr double kMean0[kCellStates] = {45, 150, 250, 350, 300};
constexpr double kSigma0[kCellStates] = {12, 10, 10, 10.5, 10};
constexpr double kRetention = 1.14e-4;

}  // namespace

ReadReferences RetryReferences(int level) {
  const RetryShift& s = kRetryTable[std::clamp(level, 0, kRetryLevels - 1)];
  ReadReferences r;
  r.r1 += s.r1;
  r.r2 += s.r2;
  r.r3 += s.r3;
  return r;
}

WordlinePosition WordlineOf(int page, int pagesPerBlock) {
  WordlinePosition p;
  if (page <= 0) return p;
  if (page == pagesPerBlock - 1 && pagesPerBlock % 2 == 0) {
    p.wordline = pagesPerBlock / 2 - 1;
    p.msb = true;
  } else if (page % 2 == 1) {
    p.wordline = (page + 1) / 2;
  } else {
    p.wordline = (page - 2) / 2;
    p.msb = true;
  }
  return p;
}

int LsbPageOf(int wordline, int) { return wordline == 0 ? 0 : 2 * wordline - 1; }

int MsbPageOf(int wordline, int pagesPerBlock) {
  const int wordlines = pagesPerBlock / 2;
  if (wordline < wordlines - 1) return 2 * wordline + 2;
  if (wordline == wordlines - 1) return pagesPerBlock - 1;
  return -1;
}

double CellPhysics::DieOffset(const PhysicalBlock& block) const {
  const uint64_t die = static_cast<uint64_t>(block.channel * geometry_.ces + block.ce);
  return -3.0 + 6.0 * UnitFromHash(Hash(seed_, HashDomain::kDieVariation, die));
}

double CellPhysics::BlockSigmaFactor(const PhysicalBlock& block) const {
  const uint64_t index = static_cast<uint64_t>(
      ((block.channel * geometry_.ces + block.ce) * geometry_.planes + block.plane) * geometry_.blocksPerCe +
      block.blockInCe);
  return 0.95 + 0.13 * UnitFromHash(Hash(seed_, HashDomain::kBlockVariation, index));
}

void CellPhysics::States(const PhysicalBlock& block, const WordlineHistory& history,
                         StateDistribution out[kCellStates]) const {
  const double n = static_cast<double>(history.eraseCount);
  const double w = std::pow(n / 1000.0, 0.6);
  const double age = std::log1p(std::max(history.hoursSinceProgram, 0.0));
  const double shift = kRetention * std::sqrt(n + 300.0) * age;
  const double widen = kRetention * std::pow(n + 300.0, 0.6) * age;
  const double die = DieOffset(block);
  double factor = BlockSigmaFactor(block) * (1.0 + 0.16 * w);
  if (history.programmedOutOfOrder) factor *= kOutOfOrderSigmaFactor;
  for (int s = 0; s < kCellStates; ++s) {
    const double sigma = kSigma0[s] * factor;
    if (s == kStateEr) {
      out[s].mean = kMean0[s] + 4.0 * w + die;
      out[s].sigma = sigma;
      continue;
    }
    const double x = kMean0[s] - 45.0;
    out[s].mean = kMean0[s] + w - shift * x + die;
    out[s].sigma = std::sqrt(sigma * sigma + widen * x);
  }
}

uint64_t BelowThreshold(const StateDistribution& state, double reference) {
  constexpr double kTwo64 = 18446744073709551616.0;
  const double z = (reference - state.mean) / state.sigma;
  if (z < 0) {
    const double p = 0.5 * std::erfc(-z / std::sqrt(2.0));
    return static_cast<uint64_t>(p * kTwo64);
  }
  const double q = 0.5 * std::erfc(z / std::sqrt(2.0));
  const double scaled = q * kTwo64;
  if (scaled < 1.0) return std::numeric_limits<uint64_t>::max();
  return std::numeric_limits<uint64_t>::max() - static_cast<uint64_t>(scaled) + 1;
}

}  // namespace dozered::sim
