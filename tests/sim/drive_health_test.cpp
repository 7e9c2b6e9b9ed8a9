// Bad blocks, wear and the records that report them all describe one flash
// state: the blocks the drive retired carry the bad mark and take no erase or
// program, the code and information blocks carry their markers on every die,
// and SMART and the error log are counted from the mark-bad list, the erase
// counts and the drive's counters.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "sim/code_images.h"
#include "sim/records.h"
#include "sim/simulated_drive.h"
#include "support/sim_vendor_host.h"

namespace dozered::sim {
namespace {

using testing::CommandBlock;
using testing::Sector;

uint16_t U16(const std::vector<uint8_t>& r, size_t at) { return static_cast<uint16_t>(r[at] | (r[at + 1] << 8)); }
uint32_t U32(const std::vector<uint8_t>& r, size_t at) { return U16(r, at) | (static_cast<uint32_t>(U16(r, at + 2)) << 16); }

int64_t SmartRaw(const std::vector<uint8_t>& smart, uint8_t id) {
  for (size_t at = 2; at + 12 <= 362; at += 12) {
    if (smart[at] != id) continue;
    int64_t v = 0;
    for (int i = 5; i >= 0; --i) v = (v << 8) | smart[at + 5 + static_cast<size_t>(i)];
    return v;
  }
  return -1;
}

int SmartCurrent(const std::vector<uint8_t>& smart, uint8_t id) {
  for (size_t at = 2; at + 12 <= 362; at += 12) {
    if (smart[at] == id) return smart[at + 3];
  }
  return -1;
}

// Option and channel/CE bytes that address one physical block.
uint8_t OptionFor(const PhysicalBlock& b) { return static_cast<uint8_t>(0x25 | (b.plane << 6)); }  // one plane
uint8_t TargetFor(const DriveModel& model, const PhysicalBlock& b) {
  return static_cast<uint8_t>(b.channel | (model.layout.CeOffsetOf(b) << 3));
}

std::vector<PhysicalBlock> BlocksNamedBy(const DriveModel& model, const RunTimeBadBlock& e) {
  std::vector<PhysicalBlock> blocks;
  const FlashGeometry& g = model.config.geometry;
  for (int ch = 0; ch < g.channels; ++ch) {
    for (int way = 0; way < g.interleaveWays; ++way) {
      for (int plane = 0; plane < g.planes; ++plane) {
        const bool named = e.reason == kFailErase ? ((e.failMask >> (4 * ch + way)) & 1) != 0
                                                  : ch == e.channel && way == e.ceOffset && plane == e.plane;
        if (named) blocks.push_back(model.layout.BlockOfFBlock(e.fblock, ch, way, plane));
      }
    }
  }
  return blocks;
}

class DriveHistoryTest : public ::testing::TestWithParam<uint64_t> {
 protected:
  static DriveConfig Config(uint64_t seed) {
    DriveConfig c;
    c.seed = seed;
    c.cardMode = 1;  // the flash commands and the mark-bad read without diagnostic code
    return c;
  }
};

TEST_P(DriveHistoryTest, BlocksRetiredBeforeTheDriveArrivedAreMarkedAndRefuseEraseAndProgram) {
  SimulatedDrive drive(Config(GetParam()));
  DriveModel& model = drive.model();
  const auto markBad = testing::ReadReply(drive, CommandBlock(0xF0, 0x43), 8192);
  ASSERT_FALSE(markBad.empty());
  const int entries = static_cast<int16_t>(U16(markBad, 0));
  ASSERT_GE(entries, 4);
  const uint16_t last = static_cast<uint16_t>(model.config.geometry.pagesPerBlock - 1);
  for (const RunTimeBadBlock& e : model.badBlocks.runTime()) {
    const std::vector<PhysicalBlock> blocks = BlocksNamedBy(model, e);
    ASSERT_FALSE(blocks.empty());
    for (const PhysicalBlock& b : blocks) {
      for (uint16_t page : {uint16_t{0}, last}) {
        Sector read = CommandBlock(0xF0, 0x0A);
        testing::SetFlashAddress(read, e.fblock, page, 0, OptionFor(b), TargetFor(model, b));
        const auto r = testing::ReadReply(drive, read, 33 * 512);
        ASSERT_FALSE(r.empty());
        EXPECT_EQ(r[32 * 512], 0x00) << "block " << e.fblock << " page " << page;
      }
      Sector erase = CommandBlock(0xF0, 0x0C);
      testing::SetFlashAddress(erase, e.fblock, 0, 0, OptionFor(b), TargetFor(model, b));
      int eraseResult = 0;
      testing::ReadReply(drive, erase, 33 * 512, &eraseResult);
      EXPECT_EQ(eraseResult, -7) << "erase of retired block " << e.fblock;
      Sector write = CommandBlock(0xF1, 0x0B);
      testing::SetFlashAddress(write, e.fblock, 7, 0, OptionFor(b), TargetFor(model, b));
      const std::vector<uint8_t> data(16384, 0x00);
      EXPECT_NE(testing::ExchangeOut(drive, write, data.data(), 16384), 0) << "program of retired block " << e.fblock;
    }
  }
  EXPECT_EQ(BuildMarkBadList(model), markBad);  // refusing added nothing to the list
}

TEST_P(DriveHistoryTest, SmartAndTheErrorLogCountWhatTheMarkBadListAndEraseCountsHold) {
  DriveModel model{Config(GetParam())};
  const auto smart = BuildSmart(model);
  const auto log = BuildErrorLog(model);
  const auto markBad = BuildMarkBadList(model);
  const auto erase = BuildEraseCountTable(model);
  int program = 0, eraseFails = 0, readEcc = 0, early = 0;
  const int entries = static_cast<int16_t>(U16(markBad, 0));
  for (int k = 0; k < entries; ++k) {
    switch (markBad[8 + 8 * static_cast<size_t>(k) + 7]) {
      case 0xFF: ++program; break;
      case 0x80: ++eraseFails; break;
      case 0x7F: ++early; break;
      default: ++readEcc; break;
    }
  }
  double sum = 0;
  int listed = 0, maximum = 0;
  for (int b = kEraseCountStartBlock; b < U16(erase, 16384); ++b) {
    const uint16_t entry = U16(erase, 2 * static_cast<size_t>(b));
    if (entry == 0xFFFF) continue;
    sum += entry & 0x7FFF;
    maximum = std::max(maximum, entry & 0x7FFF);
    ++listed;
  }
  EXPECT_EQ(SmartRaw(smart, 0x05), entries);
  EXPECT_EQ(SmartRaw(smart, 0xAB), program);
  EXPECT_EQ(SmartRaw(smart, 0xAC), eraseFails);
  EXPECT_EQ(SmartRaw(smart, 0xAD) & 0xFFFF, std::lround(sum / listed));
  EXPECT_EQ(SmartRaw(smart, 0xAD) >> 16, maximum);
  EXPECT_EQ(SmartRaw(smart, 0xBB), readEcc);  // every read-ECC retirement was an uncorrectable read
  EXPECT_EQ(U16(log, 0), readEcc + early);
  EXPECT_EQ(U16(log, 2), readEcc);
  EXPECT_EQ(U16(log, 4), program + eraseFails);
  EXPECT_EQ(U16(log, 6), program);
  EXPECT_EQ(static_cast<int64_t>(U32(log, 16)), SmartRaw(smart, 0xAE));
  EXPECT_GT(SmartRaw(smart, 0xC3), 0);  // a used drive corrected bits
}

INSTANTIATE_TEST_SUITE_P(Seeds, DriveHistoryTest, ::testing::Values(1u, 77u, 1209u, 4810u, 5150u, 0xDEADBEEFu));

TEST(DriveHealthTest, LifeLeftFollowsTheRatedCycles) {
  struct Case {
    int averageEraseCount;
    int ratedCycles;
    int lifeUsed;  // percent, about
  };
  const Case cases[] = {{0, 3000, 0}, {850, 3000, 28}, {850, 10000, 8}, {1500, 1000, 100}};
  for (const Case& c : cases) {
    DriveConfig config;
    config.averageEraseCount = c.averageEraseCount;
    config.ratedCycles = c.ratedCycles;
    DriveModel model{config};
    const auto smart = BuildSmart(model);
    EXPECT_NEAR(SmartRaw(smart, 0xCA), c.lifeUsed, 1) << c.averageEraseCount << "/" << c.ratedCycles;
    EXPECT_EQ(SmartCurrent(smart, 0xCA), std::max(100 - SmartRaw(smart, 0xCA), int64_t{1}));
  }
}

TEST(DriveHealthTest, EccRecoveredGrowsWithWearAndReads) {
  DriveConfig fresh, worn;
  fresh.averageEraseCount = 0;
  worn.averageEraseCount = 3000;
  EXPECT_EQ(SmartRaw(BuildSmart(DriveModel{fresh}), 0xC3), 0);
  SimulatedDrive drive(worn);
  const int64_t before = SmartRaw(BuildSmart(drive.model()), 0xC3);
  EXPECT_GT(before, 0);
  std::vector<uint8_t> buffer(128 * 512);
  for (uint32_t lba = 0; lba < 100000; lba += 128) ASSERT_TRUE(testing::ScsiRead(drive, lba, 128, buffer.data()));
  EXPECT_GT(SmartRaw(BuildSmart(drive.model()), 0xC3), before);
}

TEST(DriveHealthTest, CodeAndInformationBlocksCarryTheDumpMarkersOnEveryDie) {
  // The dumps read every populated position: option 0x15 (code) or 0x35
  // (information) plus the plane, target channel + 8 x CE, and for the first
  // two information pages the maximum-ECC bit.
  SimulatedDrive drive{DriveConfig{}};
  const int ispPages = drive.model().flash.IspPageCount();
  const int infoPages = drive.model().flash.InfoPageCount();
  for (int ce = 0; ce < 4; ++ce) {
    for (int ch = 0; ch < 4; ++ch) {
      for (uint8_t plane : {0, 1}) {
        for (uint16_t block : {kIspBlocks[0], kIspBlocks[1]}) {
          for (int page = ispPages - 1; page <= ispPages; ++page) {
            Sector read = CommandBlock(0xF0, 0x0A);
            testing::SetFlashAddress(read, block, static_cast<uint16_t>(page), 0, static_cast<uint8_t>(0x15 + 64 * plane),
                                     static_cast<uint8_t>(ch + 8 * ce));
            const auto r = testing::ReadReply(drive, read, 33 * 512);
            ASSERT_FALSE(r.empty());
            EXPECT_EQ(r[32 * 512 + 16] == 0x0B, page < ispPages) << "CE " << ce << " CH " << ch << " page " << page;
          }
        }
        for (uint16_t block : {kInfoBlocks[0], kInfoBlocks[1]}) {
          for (int page : {0, 1, infoPages - 1, infoPages}) {
            Sector read = CommandBlock(0xF0, 0x0A);
            testing::SetFlashAddress(read, block, static_cast<uint16_t>(page), 0, static_cast<uint8_t>(0x35 + 64 * plane),
                                     static_cast<uint8_t>(ch + 8 * ce + (page < 2 ? 0x40 : 0)));
            const auto r = testing::ReadReply(drive, read, 33 * 512);
            ASSERT_FALSE(r.empty());
            EXPECT_EQ(r[32 * 512] == 0xE1, page < infoPages) << "CE " << ce << " CH " << ch << " page " << page;
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace dozered::sim
