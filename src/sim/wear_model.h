// The wear a drive arrives with: the erase count of every F-block before this
// session's erases, drawn from the seed. Counts cluster around the drive's
// average within the static wear-levelling window, with a few hot blocks.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/drive_config.h"

namespace dozered::sim {

// Blocks below this one hold the controller's own data (code, information
// records) and are not listed from the erase-count table.
inline constexpr int kEraseCountStartBlock = 8;
inline constexpr uint16_t kIspBlocks[2] = {2, 3};
inline constexpr uint16_t kInfoBlocks[2] = {4, 5};

// The first blocks of every die are the controller's: its code and
// information blocks sit at the same block numbers on every CE, so the
// F-blocks that start each CE group never hold user data.
inline bool IsSystemFBlock(int fblock, const FlashGeometry& g) {
  return g.blocksPerCe <= 0 || fblock % g.blocksPerCe < kEraseCountStartBlock;
}

class WearModel {
 public:
  WearModel(const DriveConfig& config);

  // Pre-aged erase count of F-block `fblock` (low 15 bits).
  uint16_t BaseEraseCount(int fblock) const { return base_[static_cast<size_t>(fblock)]; }
  // True for the blocks the firmware runs in SLC mode (bit 15 of their table entry).
  bool IsSlcBlock(int fblock) const { return slc_[static_cast<size_t>(fblock)] != 0; }
  int FBlockCount() const { return static_cast<int>(base_.size()); }

 private:
  std::vector<uint16_t> base_;
  std::vector<uint8_t> slc_;
};

}  // namespace dozered::sim
