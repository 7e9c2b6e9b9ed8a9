// Blocks erased past their endurance fail an erase or a program and join the
// mark-bad list, and every record follows.
#include <gtest/gtest.h>

#include <filesystem>

#include "sim/records.h"
#include "sim/simulated_drive.h"
#include "support/sim_vendor_host.h"
#include "support/temp_dir.h"

namespace dozered::sim {
namespace {

using testing::CommandBlock;
using testing::Sector;

DriveConfig ShortLived() {
  DriveConfig config;
  config.cardMode = 1;          // no diagnostic program needed for the mark-bad read
  config.averageEraseCount = 0;  // fresh flash
  config.ratedCycles = 2;        // blocks last a handful of erases
  return config;
}

uint16_t U16(const std::vector<uint8_t>& r, size_t at) { return static_cast<uint16_t>(r[at] | (r[at + 1] << 8)); }

// Erases (one plane) until an erase fails (its data phase fails) or `limit`
// erases were made.
int EraseUntilFailure(SimulatedDrive& drive, uint16_t block, int limit) {
  for (int i = 1; i <= limit; ++i) {
    Sector erase = CommandBlock(0xF0, 0x0C);
    testing::SetFlashAddress(erase, block, 0, 0, 0x25, 0x00);
    int result = 0;
    testing::ReadReply(drive, erase, 33 * 512, &result);
    if (result != 0) return i;
  }
  return 0;
}

TEST(WearOutTest, WornBlocksFailAndAreListedAsRunTimeBadBlocks) {
  SimulatedDrive drive(ShortLived());
  DriveModel& model = drive.model();
  const int before = model.RunTimeBadCount();
  int eraseFails = 0, programFails = 0;
  for (uint16_t block = 100; block < 116; ++block) {
    if (model.badBlocks.IsFBlockBad(block)) continue;
    PhysicalBlock physical = model.layout.BlockOfFBlock(block, 0, 0, 0);
    const uint32_t endurance = model.badBlocks.Endurance(physical);
    if (!model.badBlocks.WearsOutOnProgram(physical)) {
      EXPECT_EQ(static_cast<uint32_t>(EraseUntilFailure(drive, block, 60)), std::max<uint32_t>(endurance, 1)) << block;
      ++eraseFails;
    } else {
      EXPECT_EQ(EraseUntilFailure(drive, block, static_cast<int>(endurance) + 3), 0);
      const int page = model.badBlocks.WearOutPage(physical);
      Sector write = CommandBlock(0xF1, 0x0B);
      testing::SetFlashAddress(write, block, static_cast<uint16_t>(page), 0, 0x25, 0x00);
      std::vector<uint8_t> data(16384, 0);
      // The failed program fails the data phase.
      ASSERT_EQ(testing::ExchangeOut(drive, write, data.data(), 16384), -7);
      ++programFails;
    }
    EXPECT_TRUE(model.badBlocks.IsPhysicalBlockRetired(physical)) << block;
  }
  ASSERT_GT(eraseFails + programFails, 10);
  const auto markBad = testing::ReadReply(drive, CommandBlock(0xF0, 0x43), 8192);
  ASSERT_FALSE(markBad.empty());
  EXPECT_EQ(U16(markBad, 0), before + eraseFails + programFails);
  const auto erase = BuildEraseCountTable(model);
  for (int k = before; k < model.RunTimeBadCount(); ++k) {
    const RunTimeBadBlock& e = model.badBlocks.runTime()[static_cast<size_t>(k)];
    EXPECT_EQ(U16(erase, 2 * e.fblock), 0xFFFF);
    EXPECT_TRUE(e.reason == kFailErase || e.reason == kFailProgram);
  }
}

TEST(WearOutTest, RetirementIsReplayedFromTheStateFile) {
  const testing::TempDir dir;
  DriveConfig config = ShortLived();
  config.stateFile = dir.Path("drive.state");
  int count = 0;
  {
    SimulatedDrive drive(config);
    for (uint16_t block = 200; block < 206; ++block) EraseUntilFailure(drive, block, 20);
    count = drive.model().RunTimeBadCount();
  }
  SimulatedDrive fresh(ShortLived());
  EXPECT_GT(count, fresh.model().RunTimeBadCount());
  SimulatedDrive restarted(config);
  EXPECT_EQ(restarted.model().RunTimeBadCount(), count);
}

}  // namespace
}  // namespace dozered::sim
