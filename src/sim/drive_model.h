// Everything the firmware of one simulated drive knows about itself: its
// configuration and identity, the flash layout, the wear and bad blocks it
// arrived with, the flash store, the read model and its running counters. The
// record builders read it; the firmware changes it.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "sim/bad_block_model.h"
#include "sim/drive_config.h"
#include "sim/drive_identity.h"
#include "sim/flash_layout.h"
#include "sim/cell_physics.h"
#include "sim/flash_store.h"
#include "sim/wear_model.h"

namespace dozered::sim {

struct DriveCounters {
  uint64_t hostSectorsRead = 0;
  uint64_t hostSectorsWritten = 0;
  uint32_t powerCycles = 0;
  uint32_t powerOnHours = 0;
};

class DriveModel {
 public:
  explicit DriveModel(const DriveConfig& config);
  DriveModel(const DriveModel&) = delete;
  DriveModel& operator=(const DriveModel&) = delete;

  const DriveConfig config;
  const DriveIdentity identity;
  const FlashLayout layout;
  const WearModel wear;
  BadBlockModel badBlocks;
  FlashStore flash;
  const CellPhysics cells;
  int cardMode = 2;
  uint16_t flashClock = 0;
  DriveCounters counters;

  // Erase count of an F-block: its pre-aged count plus this life's erases.
  uint32_t EraseCountOf(int fblock) const;
  // Average and maximum erase count of the good F-blocks from the erase-count start block.
  double AverageEraseCount() const;
  uint32_t MaxEraseCount() const;
  int RunTimeBadCount() const { return static_cast<int>(badBlocks.runTime().size()); }
  // Good F-blocks that hold user data, in order.
  const std::vector<uint16_t>& DataBlocks() const { return dataBlocks_; }
  // Erase count of the physical block a page sits in.
  uint32_t EraseCountOf(const PhysicalBlock& block) const;

  // Wear-out of blocks erased in this life. After an erase: true when the
  // block has reached its endurance and the erase failed. Before a program:
  // true when the block has worn out on this page and the program fails.
  // Either retires the block into the mark-bad list.
  bool EraseWearsOut(const PhysicalBlock& block);
  bool ProgramWearsOut(const PhysicalPage& page);

 private:
  std::vector<uint16_t> dataBlocks_;
};

}  // namespace dozered::sim
