// The records of one drive agree with each other and come from the seed.
#include "sim/records.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "sim/drive_model.h"

namespace dozered::sim {
namespace {

uint16_t U16(const std::vector<uint8_t>& r, size_t at) { return static_cast<uint16_t>(r[at] | (r[at + 1] << 8)); }

DriveConfig Seeded(uint64_t seed) {
  DriveConfig config;
  config.seed = seed;
  return config;
}

class RecordsTest : public ::testing::TestWithParam<uint64_t> {
 protected:
  RecordsTest() : model(Seeded(GetParam())) {}
  DriveModel model;
};

TEST_P(RecordsTest, BadBlocksAgreeAcrossCardInfoEraseCountsBadBlockTableAndMarkBadList) {
  const auto card = BuildCardInfoReply(model);
  const auto erase = BuildEraseCountTable(model);
  const auto table = BuildOriginalBadBlockTable(model);
  const auto markBad = BuildMarkBadList(model);

  int counted = 0;
  for (size_t k = 0; k < 128; ++k) counted += U16(table, 2 * k);
  EXPECT_EQ(counted, U16(card, card_info::kOriginalBadBlockCount) + U16(card, card_info::kPretestBadBlockCount));

  std::set<int> badFromTables;
  for (int i = 0; i < counted; ++i) {
    const size_t at = 512 + 4 * static_cast<size_t>(i);
    const int fblock = U16(table, at);
    const int position = U16(table, at + 2);
    const int ce = position & 0x0F, channel = (position >> 4) & 0x0F, plane = (position >> 8) & 0x0F;
    // The entry sits under the count of its channel, CE and plane, and its CE belongs to the block's group.
    EXPECT_GT(U16(table, 2 * static_cast<size_t>(32 * channel + 4 * ce + plane)), 0);
    EXPECT_EQ(ce / 2, fblock / 1024);
    badFromTables.insert(fblock);
  }
  const int runTime = static_cast<int16_t>(U16(markBad, 0));
  EXPECT_EQ(runTime, U16(card, card_info::kRuntimeBadBlockCount));
  for (int k = 0; k < runTime; ++k) badFromTables.insert(U16(markBad, 8 + 8 * static_cast<size_t>(k)));

  std::set<int> badFromEraseCounts;
  for (int b = 0; b < U16(erase, 16384); ++b) {
    if (U16(erase, 2 * static_cast<size_t>(b)) == 0xFFFF) badFromEraseCounts.insert(b);
  }
  EXPECT_EQ(badFromEraseCounts, badFromTables);
}

TEST_P(RecordsTest, FactoryBadRateIsOneToTwoPercentSpreadOverPositions) {
  const auto& factory = model.badBlocks.factory();
  std::set<int> fblocks, channels, ces, planes;
  for (const FactoryBadBlock& e : factory) {
    fblocks.insert(e.fblock);
    channels.insert(e.channel);
    ces.insert(e.ce);
    planes.insert(e.plane);
    EXPECT_GE(e.fblock, kEraseCountStartBlock);
    EXPECT_NE(e.fblock % 1024, 0);
  }
  const double rate = static_cast<double>(fblocks.size()) / 2048.0;
  EXPECT_GE(rate, 0.004);
  EXPECT_LE(rate, 0.025);
  EXPECT_EQ(channels.size(), 4u);
  EXPECT_GE(ces.size(), 3u);
  EXPECT_EQ(planes.size(), 2u);
}

TEST_P(RecordsTest, SmartAgreesWithTheDriveState) {
  const auto smart = BuildSmart(model);
  const auto card = BuildCardInfoReply(model);
  auto raw = [&smart](uint8_t id) -> int64_t {
    for (size_t e = 0; e < 30; ++e) {
      const size_t at = 2 + 12 * e;
      if (smart[at] == id) {
        int64_t v = 0;
        for (int i = 5; i >= 0; --i) v = (v << 8) | smart[at + 5 + static_cast<size_t>(i)];
        return v;
      }
    }
    return -1;
  };
  EXPECT_EQ(raw(0xC2) & 0xFF, card[card_info::kTemperature]);
  EXPECT_EQ(raw(0x05), U16(card, card_info::kRuntimeBadBlockCount));
  EXPECT_EQ(raw(0xAD) & 0xFFFF, static_cast<int64_t>(std::lround(model.AverageEraseCount())));
  EXPECT_GT(raw(0x09), 0);
  EXPECT_GT(raw(0x0C), 0);
  EXPECT_GE(raw(0xCA), 0);
  EXPECT_GT(raw(0xF1), 0);
}

TEST_P(RecordsTest, EraseCountsClusterAroundTheDriveAverage) {
  const auto erase = BuildEraseCountTable(model);
  int listed = 0, far = 0;
  for (int b = kEraseCountStartBlock; b < 2048; ++b) {
    const uint16_t entry = U16(erase, 2 * static_cast<size_t>(b));
    if (entry == 0xFFFF) continue;
    const int count = entry & 0x7FFF;
    ++listed;
    if (count < 750 || count > 950) ++far;
  }
  EXPECT_GT(listed, 1900);
  EXPECT_LT(far, listed / 100);  // only the hot blocks leave the wear-levelling window
}

TEST_P(RecordsTest, IdentifyAndIspInfoCarryTheDriveIdentity) {
  const auto identify = BuildIdentify(model);
  const auto isp = BuildIspInfo(model);
  EXPECT_TRUE(std::equal(model.identity.ispVersion.begin(), model.identity.ispVersion.end(), isp.begin() + kIspVersionOffset));
  // Firmware revision words 23-26 in ATA byte order.
  std::string firmware;
  for (size_t i = 0; i < 8; ++i) firmware += static_cast<char>(identify[46 + (i ^ 1)]);
  EXPECT_EQ(firmware, model.identity.firmware);
  EXPECT_EQ(model.identity.capacity, 250069680u);  // 128 GB by the IDEMA formula
}

TEST_P(RecordsTest, SameSeedGivesTheSameRecords) {
  DriveModel twin(Seeded(GetParam()));
  EXPECT_EQ(BuildEraseCountTable(model), BuildEraseCountTable(twin));
  EXPECT_EQ(BuildOriginalBadBlockTable(model), BuildOriginalBadBlockTable(twin));
  EXPECT_EQ(BuildMarkBadList(model), BuildMarkBadList(twin));
  DriveModel other(Seeded(GetParam() + 1));
  EXPECT_NE(BuildEraseCountTable(model), BuildEraseCountTable(other));
}

INSTANTIATE_TEST_SUITE_P(Seeds, RecordsTest, ::testing::Values(1u, 77u, 4810u, 0xDEADBEEFu));

}  // namespace
}  // namespace dozered::sim
