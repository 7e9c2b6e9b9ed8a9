// The page scrambler: its stream is the 15-bit LFSR stepped 8 times per byte,
// it runs from the data into the spare, leaves the bad-block mark alone, and
// parts of a page scramble exactly as the whole page does.
#include "sim/scrambler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bitset>
#include <set>
#include <vector>

namespace dozered::sim {
namespace {

// The stream as the LFSR law gives it, stepped one bit at a time.
std::vector<uint8_t> LfsrStream(uint16_t state, size_t length) {
  std::vector<uint8_t> out(length);
  for (size_t k = 0; k < length; ++k) {
    for (int i = 0; i < 8; ++i) state = static_cast<uint16_t>(((state >> 1) | (((state ^ (state >> 1)) & 1u) << 14)) & 0x7FFF);
    out[k] = static_cast<uint8_t>(state);
  }
  return out;
}

TEST(ScramblerTest, StreamFollowsTheLfsrFromAnyPositionAndAcrossItsPeriod) {
  struct Case {
    uint64_t seed;
    int page;
    size_t position;
    size_t length;
  };
  const Case cases[] = {
      {1, 0, 0, 16384},         // a whole page of data
      {4810, 255, 0, 100},      // last page of a block
      {4810, 17, 16385, 511},   // spare bytes behind a 16 KiB page
      {7, 3, 32760, 20},        // across the end of one LFSR cycle
      {7, 3, 0, 70000},         // longer than two cycles
      {99, 128, 33279, 1},      // one byte far into a 32 KiB page's spare
  };
  for (const Case& c : cases) {
    const std::vector<uint8_t> expected = LfsrStream(ScramblerSeedState(c.seed, c.page), c.position + c.length);
    std::vector<uint8_t> bytes(c.length, 0);
    ScrambleStream(c.seed, c.page, c.position, bytes.data(), bytes.size());
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), expected.begin() + static_cast<ptrdiff_t>(c.position)))
        << "seed " << c.seed << " page " << c.page << " position " << c.position;
  }
}

TEST(ScramblerTest, SeedStatesAreOddAndDifferBetweenPages) {
  std::set<uint16_t> states;
  for (int page = 0; page < 256; ++page) {
    const uint16_t s = ScramblerSeedState(4810, page);
    EXPECT_EQ(s & 1, 1);
    EXPECT_LT(s, 0x8000);
    states.insert(s);
  }
  EXPECT_GT(states.size(), 240u);
}

TEST(ScramblerTest, PageStreamRunsFromTheDataIntoTheSpareAndSkipsTheBadBlockMark) {
  const size_t dataBytes = 16384;
  std::vector<uint8_t> data(dataBytes, 0x00);
  std::vector<uint8_t> spare(512, 0xFF);
  spare[0] = 0xE1;
  ScramblePage(4810, 9, data.data(), data.size(), spare.data(), spare.size());
  std::vector<uint8_t> stream(dataBytes + 512, 0);
  ScrambleStream(4810, 9, 0, stream.data(), stream.size());
  EXPECT_TRUE(std::equal(data.begin(), data.end(), stream.begin()));
  EXPECT_EQ(spare[0], 0xE1);
  for (size_t j = 1; j < spare.size(); ++j) ASSERT_EQ(spare[j], 0xFF ^ stream[dataBytes + j]) << j;
  // Scrambled zeros look like noise: about half of the bits are set.
  size_t ones = 0;
  for (uint8_t b : data) ones += std::bitset<8>(b).count();
  EXPECT_NEAR(static_cast<double>(ones) / (8.0 * dataBytes), 0.5, 0.02);
  // The same call again gives the data back.
  ScramblePage(4810, 9, data.data(), data.size(), spare.data(), spare.size());
  EXPECT_TRUE(std::all_of(data.begin(), data.end(), [](uint8_t b) { return b == 0; }));
  EXPECT_EQ(spare[0], 0xE1);
  EXPECT_TRUE(std::all_of(spare.begin() + 1, spare.end(), [](uint8_t b) { return b == 0xFF; }));
}

TEST(ScramblerTest, PartsOfAPageScrambleAsTheWholePageDoes) {
  std::vector<uint8_t> whole(16384);
  for (size_t i = 0; i < whole.size(); ++i) whole[i] = static_cast<uint8_t>(i * 13 + 5);
  std::vector<uint8_t> parts = whole;
  ScrambleData(77, 42, 0, whole.data(), whole.size());
  for (size_t offset : {size_t{0}, size_t{512}, size_t{1536}, size_t{9000}}) {
    const size_t end = std::min(parts.size(), offset + (offset == 0 ? 512 : 1024 + offset % 512));
    ScrambleData(77, 42, offset, parts.data() + offset, end - offset);
    EXPECT_TRUE(std::equal(parts.begin() + static_cast<ptrdiff_t>(offset), parts.begin() + static_cast<ptrdiff_t>(end),
                           whole.begin() + static_cast<ptrdiff_t>(offset)))
        << offset;
  }
  std::vector<uint8_t> spare(512, 0x00);
  std::vector<uint8_t> fromPage(512, 0x00);
  ScrambleSpare(77, 42, 16384, spare.data(), spare.size());
  ScramblePage(77, 42, nullptr, 16384, fromPage.data(), fromPage.size());
  EXPECT_EQ(spare, fromPage);
}

}  // namespace
}  // namespace dozered::sim
