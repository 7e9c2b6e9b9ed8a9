// The threshold-voltage model of the simulated flash: which pages share a
// wordline, how the states move with wear and age, and the raw bit errors it
// gives at the calibration points the drive is tuned to.
#include "sim/cell_physics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <utility>

#include "sim/drive_model.h"
#include "sim/flash_read_model.h"

namespace dozered::sim {
namespace {

TEST(WordlineTest, PagesPairOnWordlinesInProgramOrder) {
  struct Case {
    int page;
    int wordline;
    bool msb;
    int partner;
  };
  // LSB pages 0, 1, 3, ... 253 (the single-read pages), MSB pages 2, 4, ...
  // 254 and 255 (the double-read pages); partners three pages apart, page 0
  // with page 2 and 253 with 255.
  const Case cases[] = {{0, 0, false, 2}, {2, 0, true, 0},      {1, 1, false, 4},     {4, 1, true, 1},
                        {3, 2, false, 6}, {251, 126, false, 254}, {254, 126, true, 251}, {253, 127, false, 255},
                        {255, 127, true, 253}};
  for (const Case& c : cases) {
    const WordlinePosition p = WordlineOf(c.page, 256);
    EXPECT_EQ(p.wordline, c.wordline) << c.page;
    EXPECT_EQ(p.msb, c.msb) << c.page;
    const int partner = c.msb ? LsbPageOf(p.wordline, 256) : MsbPageOf(p.wordline, 256);
    EXPECT_EQ(partner, c.partner) << c.page;
  }
  // Every page of a block sits on exactly one wordline, each wordline holds two.
  int seen[128][2] = {};
  for (int page = 0; page < 256; ++page) {
    const WordlinePosition p = WordlineOf(page, 256);
    ASSERT_LT(p.wordline, 128);
    ++seen[p.wordline][p.msb ? 1 : 0];
  }
  for (auto& w : seen) EXPECT_TRUE(w[0] == 1 && w[1] == 1);
}

TEST(CellPhysicsTest, WearWidensTheStatesAndRetentionPullsThemDownByTheirHeight) {
  const CellPhysics physics(7, FlashGeometry{});
  const PhysicalBlock block{1, 2, 0, 300};
  StateDistribution fresh[kCellStates], worn[kCellStates], aged[kCellStates];
  physics.States(block, WordlineHistory{0, 0, false}, fresh);
  physics.States(block, WordlineHistory{3000, 0, false}, worn);
  physics.States(block, WordlineHistory{3000, 8760, false}, aged);
  const double die = physics.DieOffset(block);
  EXPECT_LE(std::fabs(die), 3.0);
  const double means[] = {45, 150, 250, 350, 300};
  for (int s = 0; s < kCellStates; ++s) {
    EXPECT_NEAR(fresh[s].mean, means[s] + die, 1e-9) << s;
    EXPECT_GT(worn[s].sigma, 1.25 * fresh[s].sigma) << s;  // 1 + 0.16 (3000/1000)^0.6
    EXPECT_GT(aged[s].sigma, worn[s].sigma - 1e-9) << s;
  }
  EXPECT_GT(worn[kStateEr].mean, fresh[kStateEr].mean + 7);  // the erased state creeps up with wear
  // A year of retention moves each programmed state down in proportion to its height above ER.
  const double drop1 = worn[kStateP1].mean - aged[kStateP1].mean;
  const double drop3 = worn[kStateP3].mean - aged[kStateP3].mean;
  EXPECT_GT(drop1, 3);
  EXPECT_NEAR(drop3 / drop1, 305.0 / 105.0, 1e-6);
  EXPECT_EQ(worn[kStateEr].mean, aged[kStateEr].mean);
}

TEST(CellPhysicsTest, DiesAndBlocksDiffer) {
  const CellPhysics physics(4810, FlashGeometry{});
  std::set<double> dies, factors;
  for (int channel = 0; channel < 4; ++channel) {
    for (int ce = 0; ce < 4; ++ce) dies.insert(physics.DieOffset(PhysicalBlock{channel, ce, 0, 0}));
  }
  for (int b = 0; b < 64; ++b) {
    const double f = physics.BlockSigmaFactor(PhysicalBlock{0, 0, b % 2, b});
    EXPECT_GE(f, 0.95);
    EXPECT_LE(f, 1.08);
    factors.insert(f);
  }
  EXPECT_EQ(dies.size(), 16u);
  EXPECT_EQ(factors.size(), 64u);
}

TEST(CellPhysicsTest, ThresholdsFollowTheNormalDistribution) {
  const StateDistribution s{100, 10};
  const double two64 = 18446744073709551616.0;
  EXPECT_NEAR(static_cast<double>(BelowThreshold(s, 100)) / two64, 0.5, 1e-12);
  EXPECT_NEAR(static_cast<double>(BelowThreshold(s, 80)) / two64, 0.022750131948179, 1e-12);
  EXPECT_NEAR(1.0 - static_cast<double>(BelowThreshold(s, 130)) / two64, 0.001349898031630, 1e-12);
  EXPECT_EQ(BelowThreshold(s, -1000), 0u);
  EXPECT_EQ(BelowThreshold(s, 1000), ~0ull);
  EXPECT_LT(BelowThreshold(s, 99), BelowThreshold(s, 100));
}

// Mean raw bit errors per KiB over the 16 chunks of several pages of the data a
// drive arrived with, at read-retry level `level` (-1: the best level of each page).
double ErrorsPerKiB(const DriveModel& model, bool msb, int level, int pages) {
  double sum = 0;
  int counted = 0;
  for (int fblock = kEraseCountStartBlock; counted < pages && fblock < 2048; ++fblock) {
    const PhysicalBlock block = model.layout.BlockOfFBlock(fblock, fblock % 4, 0, fblock % 2);
    if (model.flash.InitialContentOf(block) != InitialContent::kData) continue;
    if (model.EraseCountOf(block) > 1.2 * model.config.averageEraseCount + 200) continue;  // hot blocks
    PageCells cells(model, PhysicalPage{block, msb ? 102 : 101});
    double best = 1e9;
    for (int l = 0; l < kRetryLevels; ++l) {
      if (level >= 0 && l != level) continue;
      int errors = 0;
      for (int chunk = 0; chunk < 16; ++chunk) errors += cells.CountErrors(chunk, RetryReferences(l));
      best = std::min(best, errors / 16.0);
    }
    sum += best;
    ++counted;
  }
  return sum / counted;
}

DriveConfig WornAged(int eraseCount, int hours) {
  DriveConfig config;
  config.seed = 1000 + static_cast<uint64_t>(eraseCount);
  config.averageEraseCount = eraseCount;
  config.dataAgeHours = hours;
  return config;
}

TEST(CellPhysicsTest, RawBitErrorsMatchTheCalibration) {
  struct Case {
    int eraseCount;
    int hours;
    int level;  // -1: best level
    double low, high;  // MSB errors per KiB
  };
  const Case cases[] = {
      {12, 24, 0, 0, 0.05},         // fresh: nothing
      {3000, 0, 0, 2.5, 5.5},       // N = 3000 fresh: 3.5
      {3000, 0, -1, 1.0, 3.0},      //   best level 1.9
      {3000, 8760, 0, 26, 40},      // after a year: 33
      {3000, 8760, 3, 4.5, 10},     //   6.5 at L3
      {5000, 8760, 0, 80, 110},     // N = 5000 after a year: 97
      {5000, 8760, 3, 16, 28},      //   21 at L3: only retry passes
      {10000, 720, 0, 150, 200},    // N = 10000 after a month: 176
      {10000, 720, 3, 65, 95},      //   77 at L3: read ECC fail
  };
  for (const Case& c : cases) {
    const DriveModel model(WornAged(c.eraseCount, c.hours));
    const double msb = ErrorsPerKiB(model, true, c.level, 24);
    EXPECT_GE(msb, c.low) << c.eraseCount << " cycles, " << c.hours << " h, level " << c.level;
    EXPECT_LE(msb, c.high) << c.eraseCount << " cycles, " << c.hours << " h, level " << c.level;
  }
}

TEST(CellPhysicsTest, LsbPagesShowAboutFiveTimesFewerErrorsThanMsbPages) {
  for (const auto& [eraseCount, hours] : {std::pair{3000, 8760}, std::pair{5000, 8760}, std::pair{10000, 720}}) {
    const DriveModel model(WornAged(eraseCount, hours));
    const double ratio = ErrorsPerKiB(model, true, 0, 6) / ErrorsPerKiB(model, false, 0, 6);
    EXPECT_GT(ratio, 3.5) << eraseCount;
    EXPECT_LT(ratio, 8) << eraseCount;
  }
}

}  // namespace
}  // namespace dozered::sim
