// Flash reads of worn and aged pages through the vendor commands: raw bit
// errors with ECC off, corrected data with ECC on, read retry and the larger
// ECC limit, the chunk-ECC answer agreeing bit for bit with raw and
// distribution reads, the read distribution's humps and valleys, strong mode,
// program order, retention on the drive's clock and determinism.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

#include "sim/cell_physics.h"
#include "sim/code_images.h"
#include "sim/records.h"
#include "sim/scrambler.h"
#include "sim/simulated_drive.h"
#include "support/sim_code_loading.h"
#include "support/sim_vendor_host.h"

namespace dozered::sim {
namespace {

using testing::CommandBlock;
using testing::Sector;

constexpr uint8_t kScramble = 0x01;
constexpr uint8_t kEccOff = 0x02;
constexpr uint8_t kOnePlane = 0x04;
constexpr uint8_t kNoSpare = 0x08;
constexpr uint8_t kStrong = 0x10;
constexpr uint8_t kRetry = 0x20;
constexpr uint8_t kMaxEcc = 0x40;  // in the channel/CE byte
constexpr size_t kPage = 16384;

DriveConfig Drive(int eraseCount, int hours, uint64_t seed) {
  DriveConfig config;
  config.seed = seed;
  config.averageEraseCount = eraseCount;
  config.dataAgeHours = hours;
  return config;
}

std::vector<uint8_t> Read(SimulatedDrive& drive, uint16_t block, uint16_t page, uint8_t option, uint8_t chce = 0,
                          int* result = nullptr, uint32_t sectors = 33) {
  Sector command = CommandBlock(0xF0, 0x0A);
  testing::SetFlashAddress(command, block, page, 0, option, chce);
  return testing::ReadReply(drive, command, sectors * 512, result);
}

int Write(SimulatedDrive& drive, uint16_t block, uint16_t page, uint8_t option, const std::vector<uint8_t>& data,
          uint8_t chce = 0) {
  Sector command = CommandBlock(0xF1, 0x0B);
  testing::SetFlashAddress(command, block, page, 0, option, chce);
  return testing::ExchangeOut(drive, command, data.data(), static_cast<uint32_t>(data.size()));
}

int Erase(SimulatedDrive& drive, uint16_t block, uint8_t option = kOnePlane) {
  Sector command = CommandBlock(0xF0, 0x0C);
  testing::SetFlashAddress(command, block, 0, 0, option, 0);
  std::vector<uint8_t> reply(33 * 512);
  const int result = testing::ExchangeIn(drive, command, reply.data(), 33 * 512);
  return result == 0 && reply[0] == 0 ? 0 : -1;
}

void Load(SimulatedDrive& drive, DiagnosticKind kind) {
  ASSERT_EQ(testing::LoadDiagnostic(drive, BuildDiagnosticFile(kind, drive.model().identity.ispVersion, true)), 0);
}

// A distribution read with `offset` steps in level slot `slot` (offset 0: no slot set).
std::vector<uint8_t> Distribution(SimulatedDrive& drive, uint16_t block, uint16_t page, uint8_t option, int slot,
                                  int offset) {
  Sector command = CommandBlock(0xF0, 0x45);
  testing::SetFlashAddress(command, block, page, 0, option, 0);
  command[static_cast<size_t>(14 + slot)] = static_cast<uint8_t>(offset >= 0 ? offset : 128 + offset);
  return testing::ReadReply(drive, command, 33 * 512);
}

std::vector<uint8_t> ChunkEcc(SimulatedDrive& drive, uint16_t block, uint16_t page, uint8_t target = 0) {
  Sector command = CommandBlock(0xF0, 0x46);
  command[2] = static_cast<uint8_t>(block >> 8);
  command[3] = static_cast<uint8_t>(block);
  command[4] = target;
  command[5] = static_cast<uint8_t>(page);
  return testing::ReadReply(drive, command, 512);
}

uint8_t Count(const std::vector<uint8_t>& answer, int level, int plane, int chunk) {
  return answer[static_cast<size_t>((level * 2 + plane) * 17 + chunk)];
}

int DifferingBits(const uint8_t* a, const uint8_t* b, size_t n) {
  int bits = 0;
  for (size_t i = 0; i < n; ++i) bits += __builtin_popcount(static_cast<unsigned>(a[i] ^ b[i]));
  return bits;
}

std::vector<uint8_t> RandomBytes(size_t n, uint64_t seed) {
  std::vector<uint8_t> bytes(n);
  uint64_t x = seed;
  for (auto& b : bytes) {
    x = x * 6364136223846793005ull + 1442695040888963407ull;
    b = static_cast<uint8_t>(x >> 56);
  }
  return bytes;
}

// An F-block that arrived holding data at channel 0, CE 0, plane 0.
uint16_t DataBlock(const DriveModel& model, int from = kEraseCountStartBlock) {
  for (int fblock = from;; ++fblock) {
    const PhysicalBlock b = model.layout.BlockOfFBlock(fblock, 0, 0, 0);
    if (model.flash.InitialContentOf(b) == InitialContent::kData &&
        model.EraseCountOf(b) < 1.2 * model.config.averageEraseCount + 100) {
      return static_cast<uint16_t>(fblock);
    }
  }
}

// Programs the LSB and MSB page of wordline 51 (pages 101 and 104) of an
// erased block, plain, with random data; returns the MSB page's data.
std::vector<uint8_t> ProgramWordline(SimulatedDrive& drive, uint16_t block, uint64_t seed) {
  EXPECT_EQ(Write(drive, block, 101, kOnePlane, RandomBytes(kPage, seed)), 0);
  const std::vector<uint8_t> msb = RandomBytes(kPage, seed + 1);
  EXPECT_EQ(Write(drive, block, 104, kOnePlane, msb), 0);
  return msb;
}

TEST(FlashReadTest, WornAgedPageShowsRawErrorsWithEccOffAndItsDataWithEccOn) {
  SimulatedDrive drive(Drive(3000, 0, 31));
  const uint16_t block = DataBlock(drive.model());
  ASSERT_EQ(Erase(drive, block), 0);
  const std::vector<uint8_t> lsb = RandomBytes(kPage, 5);
  const std::vector<uint8_t> msb = RandomBytes(kPage, 6);
  ASSERT_EQ(Write(drive, block, 101, kScramble | kOnePlane, lsb), 0);
  ASSERT_EQ(Write(drive, block, 104, kScramble | kOnePlane, msb), 0);
  drive.model().flash.AdvanceClock(24 * 365);
  const auto raw = Read(drive, block, 104, kScramble | kEccOff);
  ASSERT_EQ(raw.size(), 33u * 512);
  const double perKiB = DifferingBits(raw.data(), msb.data(), kPage) / 16.0;
  EXPECT_GT(perKiB, 20);
  EXPECT_LT(perKiB, 60);
  const double lsbPerKiB = DifferingBits(Read(drive, block, 101, kScramble | kEccOff).data(), lsb.data(), kPage) / 16.0;
  EXPECT_LT(lsbPerKiB, perKiB / 3);
  const auto corrected = Read(drive, block, 104, kScramble | kRetry);
  ASSERT_EQ(corrected.size(), 33u * 512);
  EXPECT_TRUE(std::equal(msb.begin(), msb.end(), corrected.begin()));
  EXPECT_EQ(corrected[kPage + 0], 0xFF);
  EXPECT_EQ(corrected[kPage + 16], (block * 256 + 104) & 0xFF);
}

TEST(FlashReadTest, ReadRetryBringsBackAPageThatFailsAtLevelZero) {
  SimulatedDrive drive(Drive(5000, 24 * 365, 52));
  const uint16_t block = DataBlock(drive.model());
  int result = 0;
  Read(drive, block, 102, kScramble, 0, &result);
  EXPECT_EQ(result, -7);  // uncorrectable at the default references: the read fails
  const auto retried = Read(drive, block, 102, kScramble | kRetry, 0, &result);
  ASSERT_EQ(result, 0);
  // The data the controller stored, descrambled.
  std::vector<uint8_t> stored(kPage);
  PhysicalPage page{drive.model().layout.BlockOfFBlock(block, 0, 0, 0), 102};
  drive.model().flash.ReadData(page, 0, stored.data(), stored.size());
  ScrambleData(drive.config().seed, 102, 0, stored.data(), stored.size());
  EXPECT_TRUE(std::equal(stored.begin(), stored.end(), retried.begin()));
}

TEST(FlashReadTest, MaxEccCorrectsChunksBetweenFortyAndSixtyErrors) {
  SimulatedDrive drive(Drive(3000, 24 * 365, 77));
  Load(drive, DiagnosticKind::kReadChunkEcc);
  // A page whose worst chunk at level 0 needs more than 40 but no more than 60 bits.
  for (uint16_t block = kEraseCountStartBlock; block < 400; ++block) {
    if (drive.model().flash.InitialContentOf(drive.model().layout.BlockOfFBlock(block, 0, 0, 0)) != InitialContent::kData) {
      continue;
    }
    const auto strict = ChunkEcc(drive, block, 102);
    const auto wide = ChunkEcc(drive, block, 102, kMaxEcc);
    int worst = 0;
    for (int chunk = 0; chunk <= 16; ++chunk) worst = std::max<int>(worst, Count(wide, 0, 0, chunk));
    if (worst <= 40 || worst > 60) continue;
    bool sawFail = false;
    for (int chunk = 0; chunk <= 16; ++chunk) {
      const uint8_t w = Count(wide, 0, 0, chunk);
      EXPECT_EQ(Count(strict, 0, 0, chunk), w > 40 ? 0xFF : w);
      sawFail = sawFail || Count(strict, 0, 0, chunk) == 0xFF;
    }
    EXPECT_TRUE(sawFail);
    int result = 0;
    Read(drive, block, 102, kScramble, 0x00, &result);
    EXPECT_EQ(result, -7);
    Read(drive, block, 102, kScramble, kMaxEcc, &result);
    EXPECT_EQ(result, 0);
    return;
  }
  FAIL() << "no page with a chunk between 41 and 60 errors";
}

// The chunk-ECC count of a chunk at a retry level is the number of bits an
// ECC-off read of it differs in at that level. Distribution reads give the
// reads at the retry references: an LSB page is read at R2 alone; an MSB page
// at R1 and R3, and since no cell lies near both, the read with both moved is
// the read with R1 moved XOR the default read XOR the read with R3 moved.
TEST(FlashReadTest, ChunkEccCountsAreTheRawErrorsOfRawAndDistributionReads) {
  SimulatedDrive drive(Drive(3000, 0, 99));
  const uint16_t block = DataBlock(drive.model());
  ASSERT_EQ(Erase(drive, block), 0);
  const std::vector<uint8_t> lsb = RandomBytes(kPage, 21);
  const std::vector<uint8_t> msb = RandomBytes(kPage, 22);
  ASSERT_EQ(Write(drive, block, 101, kOnePlane, lsb), 0);  // plain: the cells hold the data as written
  ASSERT_EQ(Write(drive, block, 104, kOnePlane, msb), 0);
  drive.model().flash.AdvanceClock(24 * 365);
  Load(drive, DiagnosticKind::kReadChunkEcc);
  const auto lsbAnswer = ChunkEcc(drive, block, 101);
  const auto msbAnswer = ChunkEcc(drive, block, 104);
  const auto raw = Read(drive, block, 104, kEccOff | kOnePlane);
  const auto rawSpare = Read(drive, block, 104, kEccOff | kOnePlane);
  Load(drive, DiagnosticKind::kReadDistribution);
  const uint8_t option = kEccOff | kOnePlane | kNoSpare;
  const auto d0 = Distribution(drive, block, 104, option, 1, 0);
  EXPECT_TRUE(std::equal(d0.begin(), d0.begin() + kPage, raw.begin()));  // the same cells, the same bits
  auto expected = [](const uint8_t* read, const std::vector<uint8_t>& data, int chunk) {
    const int bits = DifferingBits(read + 1024 * chunk, data.data() + 1024 * chunk, 1024);
    return bits > 40 ? 0xFF : bits;
  };
  int compared = 0;
  int uncorrectable = 0;
  for (int level = 0; level < kRetryLevels; ++level) {
    const RetryShift& shift = kRetryTable[level];
    const auto d2 = Distribution(drive, block, 101, option, 2, shift.r2);
    const auto d1 = Distribution(drive, block, 104, option, 1, shift.r1);
    const auto d3 = Distribution(drive, block, 104, option, 3, shift.r3);
    std::vector<uint8_t> both(kPage);
    for (size_t i = 0; i < kPage; ++i) both[i] = static_cast<uint8_t>(d1[i] ^ d0[i] ^ d3[i]);
    for (int chunk = 0; chunk < 16; ++chunk) {
      EXPECT_EQ(Count(lsbAnswer, level, 0, chunk), expected(d2.data(), lsb, chunk)) << "LSB level " << level << " chunk " << chunk;
      EXPECT_EQ(Count(msbAnswer, level, 0, chunk), expected(both.data(), msb, chunk)) << "MSB level " << level << " chunk " << chunk;
      uncorrectable += Count(msbAnswer, level, 0, chunk) == 0xFF;
      compared += 2;
    }
  }
  EXPECT_EQ(compared, 256);
  EXPECT_GT(uncorrectable, 0);  // some chunks are beyond the ECC at some levels
  EXPECT_LT(uncorrectable, 128);
  // Level 0 of the raw read, the spare area included.
  for (int chunk = 0; chunk < 16; ++chunk) EXPECT_EQ(Count(msbAnswer, 0, 0, chunk), expected(raw.data(), msb, chunk));
  std::vector<uint8_t> storedSpare(512);
  drive.model().flash.ReadSpare(PhysicalPage{drive.model().layout.BlockOfFBlock(block, 0, 0, 0), 104}, storedSpare.data());
  EXPECT_EQ(Count(msbAnswer, 0, 0, 16), DifferingBits(rawSpare.data() + kPage + 1, storedSpare.data() + 1, 511));
}

TEST(FlashReadTest, ChunkEccCountsRiseWithWearAndAgeAndFallWithRetry) {
  struct Sums {
    int level0 = 0;
    int best = 1 << 30;
    bool planesDiffer = false;
  };
  auto measure = [](SimulatedDrive& drive, uint16_t block, uint16_t page) {
    const auto answer = ChunkEcc(drive, block, page);
    Sums sums;
    for (int level = 0; level < kRetryLevels; ++level) {
      int total = 0;
      for (int plane = 0; plane < 2; ++plane) {
        for (int chunk = 0; chunk <= 16; ++chunk) {
          const uint8_t c = Count(answer, level, plane, chunk);
          EXPECT_TRUE(c <= 40 || c == 0xFF) << int{c};
          total += c == 0xFF ? 41 : c;
          if (plane == 1 && c != Count(answer, level, 0, chunk)) sums.planesDiffer = true;
        }
      }
      if (level == 0) sums.level0 = total;
      sums.best = std::min(sums.best, total);
    }
    return sums;
  };
  SimulatedDrive fresh(Drive(12, 24, 2024));
  SimulatedDrive worn(Drive(3000, 24 * 365, 2024));  // the same seed: the same blocks hold data
  Load(fresh, DiagnosticKind::kReadChunkEcc);
  Load(worn, DiagnosticKind::kReadChunkEcc);
  const uint16_t block = DataBlock(fresh.model());
  ASSERT_EQ(worn.model().flash.InitialContentOf(worn.model().layout.BlockOfFBlock(block, 0, 0, 0)), InitialContent::kData);
  const Sums freshMsb = measure(fresh, block, 102);
  const Sums wornMsb = measure(worn, block, 102);
  const Sums wornLsb = measure(worn, block, 101);
  EXPECT_LT(freshMsb.level0, 20);
  EXPECT_GT(wornMsb.level0, 20 * freshMsb.level0 + 100);
  EXPECT_LT(wornMsb.best, wornMsb.level0 / 2);
  EXPECT_LT(wornLsb.level0, wornMsb.level0 / 3);
  EXPECT_TRUE(wornMsb.planesDiffer);
}

TEST(FlashReadTest, ReadsAreRepeatableAndIndependentOfCommandOrder) {
  const DriveConfig config = Drive(5000, 24 * 365, 8);
  SimulatedDrive a(config);
  SimulatedDrive b(config);
  const uint16_t block = DataBlock(a.model());
  const auto first = Read(a, block, 102, kEccOff);
  Read(b, block + 1, 7, kEccOff);  // another read first
  Read(b, block, 101, kEccOff);
  EXPECT_EQ(Read(a, block, 102, kEccOff), first);
  EXPECT_EQ(Read(b, block, 102, kEccOff), first);
}

TEST(FlashReadTest, EveryEraseDrawsNewCellNoise) {
  SimulatedDrive drive(Drive(3000, 0, 13));
  const uint16_t block = DataBlock(drive.model());
  std::vector<std::vector<uint8_t>> reads;
  for (int round = 0; round < 2; ++round) {
    ASSERT_EQ(Erase(drive, block), 0);
    ProgramWordline(drive, block, 40);
    reads.push_back(Read(drive, block, 104, kEccOff | kOnePlane));
  }
  EXPECT_NE(reads[0], reads[1]);
  const std::vector<uint8_t> data = RandomBytes(kPage, 41);
  const int e0 = DifferingBits(reads[0].data(), data.data(), kPage);
  const int e1 = DifferingBits(reads[1].data(), data.data(), kPage);
  EXPECT_GT(e0, 10);
  EXPECT_GT(e1, 10);
}

TEST(FlashReadTest, RetentionOnTheDrivesClockAddsErrors) {
  SimulatedDrive drive(Drive(3000, 0, 14));
  const uint16_t block = DataBlock(drive.model());
  ASSERT_EQ(Erase(drive, block), 0);
  const std::vector<uint8_t> msb = ProgramWordline(drive, block, 50);
  const int now = DifferingBits(Read(drive, block, 104, kEccOff | kOnePlane).data(), msb.data(), kPage);
  EXPECT_EQ(DifferingBits(Read(drive, block, 104, kEccOff | kOnePlane).data(), msb.data(), kPage), now);
  drive.model().flash.AdvanceClock(24 * 365);
  const int later = DifferingBits(Read(drive, block, 104, kEccOff | kOnePlane).data(), msb.data(), kPage);
  EXPECT_GT(later, 4 * now);
}

TEST(FlashReadTest, PagesProgrammedAfterAHigherPageShowMoreErrors) {
  SimulatedDrive drive(Drive(3000, 0, 15));
  const uint16_t block = DataBlock(drive.model());
  ASSERT_EQ(Erase(drive, block), 0);
  const std::vector<uint8_t> msb = ProgramWordline(drive, block, 60);
  const int inOrder = DifferingBits(Read(drive, block, 104, kEccOff | kOnePlane).data(), msb.data(), kPage);
  ASSERT_EQ(Erase(drive, block), 0);
  ASSERT_EQ(Write(drive, block, 200, kOnePlane, RandomBytes(kPage, 1)), 0);
  ProgramWordline(drive, block, 60);
  const int outOfOrder = DifferingBits(Read(drive, block, 104, kEccOff | kOnePlane).data(), msb.data(), kPage);
  EXPECT_GT(outOfOrder, 3 * inOrder + 20);
}

TEST(FlashReadTest, PartOfAPageStoresOnlyThatPartAndTheRestReadsErased) {
  SimulatedDrive drive(Drive(850, 0, 16));
  const std::vector<uint8_t> sector = RandomBytes(512, 70);
  ASSERT_EQ(Write(drive, 6, 40, kScramble | kOnePlane, sector), 0);
  EXPECT_EQ(drive.StoredFlashBytes(), 512u + 512u);  // the sector and the spare tags
  const auto back = Read(drive, 6, 40, kScramble);
  EXPECT_TRUE(std::equal(sector.begin(), sector.end(), back.begin()));
  EXPECT_TRUE(std::all_of(back.begin() + 1024, back.begin() + kPage, [](uint8_t b) { return b == 0xFF; }));
}

// Strong page mode programs the LSB page of a wordline alone: it reads back
// through the one reference, the wordline's MSB page reads erased, and a sweep
// of that reference finds a wide, nearly empty valley.
TEST(FlashReadTest, StrongPagesUseTheLsbPagesAlone) {
  SimulatedDrive drive(Drive(850, 0, 17));
  const std::vector<uint8_t> data = RandomBytes(kPage, 80);
  ASSERT_EQ(Write(drive, 6, 5, kScramble | kOnePlane | kStrong, data), 0);  // strong page 5 = page 9
  EXPECT_TRUE(drive.model().flash.IsProgrammed(PhysicalPage{drive.model().layout.BlockOfFBlock(6, 0, 0, 0), 9}));
  const auto back = Read(drive, 6, 5, kScramble | kStrong);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), back.begin()));
  const auto same = Read(drive, 6, 9, kScramble);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), same.begin()));
  const auto msb = Read(drive, 6, 12, kEccOff);  // the MSB page of the same wordline
  EXPECT_TRUE(std::all_of(msb.begin(), msb.begin() + kPage, [](uint8_t b) { return b == 0xFF; }));
  Load(drive, DiagnosticKind::kReadDistribution);
  const uint8_t option = kEccOff | kOnePlane | kNoSpare | kStrong;
  const auto base = Distribution(drive, 6, 5, option, 0, 0);
  int flips = 0;
  for (int offset : {-63, -30, 30, 62}) {
    flips += DifferingBits(base.data(), Distribution(drive, 6, 5, option, 0, offset).data(), kPage);
  }
  EXPECT_LT(flips, 20);
}

// The histogram a read-distribution measurement draws for read type `type`
// (its level slot) with step 3: each read is compared with the previous one
// and the bits that flipped in the expected direction are counted; the point
// of level v sits at x = v + 64 (v < 64) or v - 64.
std::map<int, int> Histogram(SimulatedDrive& drive, uint16_t block, uint16_t page, int type) {
  const uint8_t option = kEccOff | kOnePlane | kNoSpare | (type == 0 ? kStrong : 0);
  std::map<int, int> points;
  const auto reference = Distribution(drive, block, page, option, type, 0);
  for (int sweep = 0; sweep < 2; ++sweep) {
    std::vector<uint8_t> previous = reference;
    const bool rising = (type == 3) == (sweep == 1);
    for (int v = sweep == 0 ? 0 : 125; sweep == 0 ? v < 63 : v > 64; v += sweep == 0 ? 3 : -3) {
      const auto current = Distribution(drive, block, page, option, type, v < 64 ? v : v - 128);
      int count = 0;
      for (size_t i = 0; i < kPage; ++i) {
        const uint8_t flipped = static_cast<uint8_t>(previous[i] ^ current[i]);
        count += __builtin_popcount(static_cast<unsigned>(flipped & (rising ? current[i] : ~current[i])));
      }
      points[v < 64 ? v + 64 : v - 64] = count;
      previous = current;
    }
  }
  return points;
}

// The valley between the two humps: the middle of the lowest points between
// the highest point left of x = 64 and the highest point right of it. The
// point at x = 64 compares the reference read with itself and is left out.
struct Valley {
  double x = 0;
  int floor = 0;
  int leftHump = 0;
  int rightHump = 0;
};

Valley ValleyOf(const std::map<int, int>& points) {
  Valley v;
  int leftX = 0, rightX = 127;
  for (const auto& [x, count] : points) {
    if (x < 64 && count > v.leftHump) v.leftHump = count, leftX = x;
    if (x > 64 && count > v.rightHump) v.rightHump = count, rightX = x;
  }
  v.floor = 1 << 30;
  for (const auto& [x, count] : points) {
    if (x > leftX && x < rightX && x != 64) v.floor = std::min(v.floor, count);
  }
  double sum = 0;
  int n = 0;
  for (const auto& [x, count] : points) {
    if (x > leftX && x < rightX && x != 64 && count <= v.floor + std::max(2, v.floor / 10)) sum += x, ++n;
  }
  v.x = n > 0 ? sum / n : 64;
  return v;
}

TEST(FlashReadTest, DistributionOfAFreshPageShowsTwoHumpsAroundTheDefaultLevel) {
  SimulatedDrive drive(Drive(12, 24, 2024));
  const uint16_t block = DataBlock(drive.model());
  Load(drive, DiagnosticKind::kReadDistribution);
  const struct {
    uint16_t page;
    int type;
  } reads[] = {{102, 1}, {101, 2}, {102, 3}};
  for (const auto& r : reads) {
    const auto points = Histogram(drive, block, r.page, r.type);
    EXPECT_EQ(points.size(), 42u);
    EXPECT_EQ(points.at(64), 0);  // level 0 compared with the reference read
    const Valley v = ValleyOf(points);
    EXPECT_NEAR(v.x, 64, 6) << "type " << r.type;
    EXPECT_LE(v.floor, 2) << "type " << r.type;
    EXPECT_GT(v.leftHump, 500) << "type " << r.type;
    EXPECT_GT(v.rightHump, 500) << "type " << r.type;
    EXPECT_EQ(Histogram(drive, block, r.page, r.type), points);  // the same reads, the same counts
  }
}

TEST(FlashReadTest, DistributionOfAWornAgedPageHasItsValleyMovedLeftAndFilledIn) {
  SimulatedDrive fresh(Drive(12, 24, 2024));
  SimulatedDrive worn(Drive(3000, 24 * 365, 2024));
  const uint16_t block = DataBlock(fresh.model());
  ASSERT_EQ(worn.model().flash.InitialContentOf(worn.model().layout.BlockOfFBlock(block, 0, 0, 0)), InitialContent::kData);
  Load(fresh, DiagnosticKind::kReadDistribution);
  Load(worn, DiagnosticKind::kReadDistribution);
  for (int type : {2, 3}) {
    const uint16_t page = type == 2 ? 101 : 102;
    const Valley before = ValleyOf(Histogram(fresh, block, page, type));
    const Valley after = ValleyOf(Histogram(worn, block, page, type));
    EXPECT_LT(after.x, before.x - 4) << "type " << type;
    EXPECT_GT(after.floor, before.floor + 10) << "type " << type;
  }
}

}  // namespace
}  // namespace dozered::sim
