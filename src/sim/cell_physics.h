// Threshold voltages of the MLC cells of the simulated flash.
//
// A wordline holds two pages: its LSB page and its MSB page. Each cell stores
// one bit of each in one of four states (Gray code, LSB then MSB): ER = 11,
// P1 = 10, P2 = 00, P3 = 01. An LSB page is read against reference R2, an MSB
// page against R1 and R3. A wordline whose MSB page is not programmed keeps
// the cells of its LSB 0-bits at an intermediate state (IM); strong (SLC) mode
// uses only the LSB pages, so its wordlines have ER and IM alone and are read
// against one reference.
//
// Voltages are in DAC steps, one step being one level offset of a read. Every
// state is a normal distribution whose mean and width follow the wear N (the
// block's erase count when the page was programmed) and the retention time t
// (hours since programming): with w = (N / 1000)^0.6 and x = mean0 - 45,
//   sigma = sigma0 (1 + 0.16 w)
//   mean(ER) = 45 + 4 w
//   mean(P) = mean0 + w - c x sqrt(N + 300) ln(1 + t)
//   sigma(P)^2 += c x (N + 300)^0.6 ln(1 + t),   c = 1.14e-4
// Dies shift every mean by up to 3 steps and blocks scale every width by 0.95
// to 1.08, both drawn from the seed.
//
// A cell's voltage is mean + sigma * PhiInverse(u), u its own uniform draw. The
// model never computes the voltage: a cell reads below a reference R exactly
// when u < Phi((R - mean) / sigma), so every decision is a comparison of the
// cell's draw, held as a 64-bit integer, with a 64-bit threshold.
#pragma once

#include <cstdint>

#include "sim/drive_config.h"
#include "sim/flash_layout.h"

namespace dozered::sim {

enum CellState : int { kStateEr = 0, kStateP1 = 1, kStateP2 = 2, kStateP3 = 3, kStateIm = 4, kCellStates = 5 };

// Default references and the read-retry table.
inline constexpr int kDefaultR1 = 100;
inline constexpr int kDefaultR2 = 200;
inline constexpr int kDefaultR3 = 300;
inline constexpr int kRetryLevels = 8;
struct RetryShift {
  int r1, r2, r3;
};
inline constexpr RetryShift kRetryTable[kRetryLevels] = {
    {0, 0, 0}, {2, -3, -5}, {2, -6, -10}, {2, -9, -16}, {3, -12, -21}, {4, -15, -27}, {8, 3, 2}, {4, -19, -33}};

// The references one read uses. A strong (SLC) read uses r2 alone.
struct ReadReferences {
  int r1 = kDefaultR1;
  int r2 = kDefaultR2;
  int r3 = kDefaultR3;
};
ReadReferences RetryReferences(int level);

// Where a page sits: its wordline and whether it is the MSB page there.
struct WordlinePosition {
  int wordline = 0;
  bool msb = false;
};
WordlinePosition WordlineOf(int page, int pagesPerBlock);
int LsbPageOf(int wordline, int pagesPerBlock);
int MsbPageOf(int wordline, int pagesPerBlock);  // -1 when the wordline has none

struct StateDistribution {
  double mean = 0;
  double sigma = 1;
};

// The conditions the cells of one wordline were programmed and kept under.
struct WordlineHistory {
  uint32_t eraseCount = 0;        // N
  double hoursSinceProgram = 0;   // t
  bool programmedOutOfOrder = false;  // a page of it was programmed after a higher page of its block
};

class CellPhysics {
 public:
  CellPhysics(uint64_t seed, const FlashGeometry& geometry) : seed_(seed), geometry_(geometry) {}

  // The five state distributions of a wordline of `block`.
  void States(const PhysicalBlock& block, const WordlineHistory& history, StateDistribution out[kCellStates]) const;
  double DieOffset(const PhysicalBlock& block) const;
  double BlockSigmaFactor(const PhysicalBlock& block) const;

 private:
  uint64_t seed_;
  FlashGeometry geometry_;
};

// The 64-bit threshold below which a cell's draw reads below reference R:
// Phi((R - mean) / sigma) scaled to 2^64 (saturated).
uint64_t BelowThreshold(const StateDistribution& state, double reference);

// Widening of the states of a wordline programmed out of order.
inline constexpr double kOutOfOrderSigmaFactor = 1.25;

}  // namespace dozered::sim
