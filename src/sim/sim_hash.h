// Deterministic random quantities of the simulated drive. Every draw is a
// SplitMix64 hash of (drive seed, domain, packed address, epoch), so nothing
// depends on the order in which commands arrive.
#pragma once

#include <cmath>
#include <cstdint>

namespace dozered::sim {

enum class HashDomain : uint64_t {
  kFactoryBad = 1,
  kEndurance = 2,
  kCellZScore = 3,
  kReadNoise = 4,
  kPreAgedEraseCount = 5,
  kPreAgedData = 6,
  kRecords = 7,
  kRunTimeBad = 8,
  kScrambleSeed = 16,
  kDieVariation = 17,
  kBlockVariation = 18,
};

inline uint64_t SplitMix64(uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

inline uint64_t Hash(uint64_t seed, HashDomain domain, uint64_t address, uint64_t epoch = 0) {
  uint64_t h = SplitMix64(seed);
  h = SplitMix64(h ^ static_cast<uint64_t>(domain));
  h = SplitMix64(h ^ address);
  return SplitMix64(h ^ epoch);
}

// A value in [0, 1) from a hash.
inline double UnitFromHash(uint64_t h) { return static_cast<double>(h >> 11) * (1.0 / 9007199254740992.0); }

// A standard normal value from two hashes (Box-Muller).
inline double NormalFromHash(uint64_t h1, uint64_t h2) {
  double u1 = UnitFromHash(h1);
  if (u1 < 1e-12) u1 = 1e-12;
  const double u2 = UnitFromHash(h2);
  return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
}

}  // namespace dozered::sim
