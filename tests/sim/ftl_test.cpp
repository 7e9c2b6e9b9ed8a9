// The translation layer: host sectors reach the flash in program order, the
// translation answer leads to them, garbage collection keeps the data while
// it erases blocks, and memory follows what was written.
#include "sim/ftl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "sim/code_images.h"
#include "sim/records.h"
#include "sim/simulated_drive.h"
#include "support/sim_code_loading.h"
#include "support/sim_vendor_host.h"

namespace dozered::sim {
namespace {

using testing::CommandBlock;
using testing::Sector;

uint16_t U16(const std::vector<uint8_t>& r, size_t at) { return static_cast<uint16_t>(r[at] | (r[at + 1] << 8)); }

// A drive small enough to fill: 32 F-blocks of 2 channels x 2 CEs x 2 planes,
// 8 pages of 8 KiB (two units) per block.
DriveConfig SmallDrive(int averageEraseCount = 0) {
  DriveConfig c;
  c.geometry.channels = 2;
  c.geometry.ces = 2;
  c.geometry.interleaveWays = 2;
  c.geometry.planes = 2;
  c.geometry.blocksPerCe = 32;
  c.geometry.pagesPerBlock = 8;
  c.geometry.pageSizeKiB = 8;
  c.averageEraseCount = averageEraseCount;
  return c;
}

std::vector<uint8_t> Pattern(uint64_t lba, uint32_t count, uint8_t salt) {
  std::vector<uint8_t> data(static_cast<size_t>(count) * 512);
  for (size_t i = 0; i < data.size(); ++i) {
    data[i] = static_cast<uint8_t>((lba + i / 512) * 31 + i * 7 + salt);
  }
  return data;
}

std::vector<uint8_t> Translate(SimulatedDrive& drive, uint32_t lba) {
  Sector command = CommandBlock(0xF0, 0x41);
  for (int b = 0; b < 4; ++b) command[static_cast<size_t>(2 + b)] = static_cast<uint8_t>(lba >> (8 * b));
  command[15] = 0x44;
  return testing::ReadReply(drive, command, 512);
}

// A Flash RW read at the address a translation answer names: ECC on,
// descrambling on, the answer's plane and interleave in the option and
// channel/CE bytes, the chunk from SectorH.
std::vector<uint8_t> ReadTranslatedPage(SimulatedDrive& drive, const std::vector<uint8_t>& answer) {
  const uint32_t sectors = static_cast<uint32_t>(drive.config().geometry.SectorsPerPage()) + 1;
  Sector command = CommandBlock(0xF0, 0x0A);
  const uint8_t option = static_cast<uint8_t>(0x21 | (U16(answer, 10) << 6));
  const uint8_t chce = static_cast<uint8_t>(U16(answer, 18) | (U16(answer, 12) << 3));
  testing::SetFlashAddress(command, U16(answer, 2), U16(answer, 6), static_cast<uint8_t>(U16(answer, 8) / 2), option,
                           chce);
  return testing::ReadReply(drive, command, sectors * 512);
}

class TranslationTest : public ::testing::TestWithParam<std::pair<uint32_t, uint32_t>> {};

TEST_P(TranslationTest, FlashRwReadAtTheTranslatedAddressShowsWhatTheHostWrote) {
  const auto [lba, count] = GetParam();
  SimulatedDrive drive{DriveConfig{}};
  const std::vector<uint8_t> data = Pattern(lba, count, 0x3C);
  ASSERT_TRUE(testing::ScsiWrite(drive, lba, count, data.data()));
  ASSERT_EQ(testing::LoadDiagnostic(drive, BuildDiagnosticFile(DiagnosticKind::kTranLba2Pba, drive.model().identity.ispVersion, false)), 0);
  for (uint32_t k = 0; k < count; ++k) {
    const std::vector<uint8_t> answer = Translate(drive, lba + k);
    ASSERT_EQ(answer.size(), 512u);
    ASSERT_EQ(U16(answer, 0), kTranslated) << lba + k;
    EXPECT_EQ(U16(answer, 10 * 2), U16(answer, 12) + 2 * (U16(answer, 2) / 1024));  // CE = group base + interleave
    const std::vector<uint8_t> page = ReadTranslatedPage(drive, answer);
    ASSERT_FALSE(page.empty());
    const size_t at = static_cast<size_t>(U16(answer, 8) % 2) * 512;  // the chunk holds two sectors
    EXPECT_TRUE(std::equal(page.begin() + static_cast<long>(at), page.begin() + static_cast<long>(at) + 512,
                           data.begin() + static_cast<long>(512 * k)))
        << "LBA " << lba + k;
  }
  // Stored scrambled: without descrambling the page shows other bytes.
  const std::vector<uint8_t> answer = Translate(drive, lba);
  Sector command = CommandBlock(0xF0, 0x0A);
  testing::SetFlashAddress(command, U16(answer, 2), U16(answer, 6), static_cast<uint8_t>(U16(answer, 8) / 2),
                           static_cast<uint8_t>(0x20 | (U16(answer, 10) << 6)),
                           static_cast<uint8_t>(U16(answer, 18) | (U16(answer, 12) << 3)));
  const std::vector<uint8_t> raw = testing::ReadReply(drive, command, 33 * 512);
  ASSERT_FALSE(raw.empty());
  const size_t at = static_cast<size_t>(U16(answer, 8) % 2) * 512;
  EXPECT_FALSE(std::equal(raw.begin() + static_cast<long>(at), raw.begin() + static_cast<long>(at) + 512, data.begin()));
}

// LBA and sector count: one sector (still in the controller's RAM when the
// translation comes), an odd sector, a write across units, a whole page's
// worth, the last LBA.
INSTANTIATE_TEST_SUITE_P(Writes, TranslationTest,
                         ::testing::Values(std::make_pair(0u, 1u), std::make_pair(7u, 1u), std::make_pair(1005u, 13u),
                                           std::make_pair(4096u, 32u), std::make_pair(250069679u, 1u)));

TEST(TranslationAnswerTest, OnlyWrittenLbasWithinTheCapacityHaveAPlace) {
  SimulatedDrive drive{DriveConfig{}};
  const std::vector<uint8_t> data = Pattern(500, 1, 1);
  ASSERT_TRUE(testing::ScsiWrite(drive, 500, 1, data.data()));
  const DriveModel& model = drive.model();
  struct Case {
    uint32_t lba;
    uint16_t status;
  };
  const Case cases[] = {{500, kTranslated}, {501, kTranslated} /* same 4 KiB unit */, {508, kNoSuchLba},
                        {0, kNoSuchLba}, {drive.capacity(), kNoSuchLba}, {0xFFFFFFFFu, kNoSuchLba}};
  for (const Case& c : cases) {
    const std::vector<uint8_t> answer = BuildTranslation(model, c.lba);
    EXPECT_EQ(U16(answer, 0), c.status) << c.lba;
    if (c.status == kNoSuchLba) {
      EXPECT_TRUE(std::all_of(answer.begin() + 2, answer.end(), [](uint8_t b) { return b == 0; }));
    }
  }
  // A sector never written in a written unit reads as zeros, as an unwritten one does.
  EXPECT_EQ(testing::ReadSector(drive, 501), Sector{});
  EXPECT_EQ(testing::ReadSector(drive, 12345), Sector{});
}

TEST(FtlTest, PagesFillChannelFirstThenCeThenPlaneThenTheNextPage) {
  DriveModel model{SmallDrive()};
  const FlashGeometry& g = model.config.geometry;
  const uint32_t units = static_cast<uint32_t>(g.PageBytes() / 4096);
  const uint32_t stripe = static_cast<uint32_t>(g.channels * g.interleaveWays * g.planes);
  // A full row of pages and one unit of the next.
  const std::vector<uint8_t> data = Pattern(0, 8 * (units * stripe + 1), 9);
  ASSERT_TRUE(model.ftl.Write(0, static_cast<uint32_t>(data.size() / 512), data.data()));
  LbaLocation first;
  ASSERT_TRUE(model.ftl.Locate(0, &first));
  for (uint32_t q = 0; q <= stripe; ++q) {
    for (uint32_t u = 0; u < (q < stripe ? units : 1); ++u) {
      LbaLocation l;
      ASSERT_TRUE(model.ftl.Locate(8 * (q * units + u) + 3, &l));
      const uint32_t position = q % stripe;
      EXPECT_EQ(l.fblock, first.fblock);
      EXPECT_EQ(l.page.block.channel, static_cast<int>(position % 2)) << q;
      EXPECT_EQ(l.ceOffset, static_cast<int>(position / 2 % 2)) << q;
      EXPECT_EQ(l.page.block.plane, static_cast<int>(position / 4)) << q;
      EXPECT_EQ(l.page.page, static_cast<int>(q / stripe)) << q;
      EXPECT_EQ(l.sectorInPage, static_cast<int>(8 * u + 3));
      EXPECT_EQ(l.buffered, q == stripe);  // the last page is not full: it waits in RAM
    }
  }
}

TEST(FtlTest, APageWrittenThroughTheFlashCommandsIsPassedOverNotOverwritten) {
  SimulatedDrive drive{DriveConfig{}};
  const std::vector<uint8_t> first = Pattern(0, 8, 1);
  ASSERT_TRUE(testing::ScsiWrite(drive, 0, 8, first.data()));
  LbaLocation l;
  ASSERT_TRUE(drive.model().ftl.Locate(0, &l));
  ASSERT_TRUE(l.buffered);
  // The engineer writes the page that comes next in program order: channel 1
  // of the same page row.
  const std::vector<uint8_t> engineer(16384, 0xE7);
  Sector write = CommandBlock(0xF1, 0x0B);
  testing::SetFlashAddress(write, static_cast<uint16_t>(l.fblock), 0, 0, 0x25, 0x01);
  ASSERT_EQ(testing::ExchangeOut(drive, write, engineer.data(), 16384), 0);
  // Seven more units: three fill the first page, four need the next one.
  const std::vector<uint8_t> more = Pattern(8, 56, 2);
  ASSERT_TRUE(testing::ScsiWrite(drive, 8, 56, more.data()));
  for (uint32_t lba = 8; lba < 64; lba += 8) {
    ASSERT_TRUE(drive.model().ftl.Locate(lba, &l));
    EXPECT_FALSE(l.page.page == 0 && l.page.block.channel == 1 && l.ceOffset == 0 && l.page.block.plane == 0) << lba;
  }
  std::vector<uint8_t> back(64 * 512);
  ASSERT_TRUE(testing::ScsiRead(drive, 0, 64, back.data()));
  EXPECT_TRUE(std::equal(first.begin(), first.end(), back.begin()));
  EXPECT_TRUE(std::equal(more.begin(), more.end(), back.begin() + 8 * 512));
  Sector read = CommandBlock(0xF0, 0x0A);
  testing::SetFlashAddress(read, static_cast<uint16_t>(l.fblock), 0, 0, 0x25, 0x01);
  const auto page = testing::ReadReply(drive, read, 33 * 512);
  ASSERT_FALSE(page.empty());
  EXPECT_TRUE(std::equal(engineer.begin(), engineer.end(), page.begin()));
}

TEST(FtlTest, SuperblocksAreTakenLeastWornFirstAndNeverBadOrSystemBlocks) {
  // The demo drive's layout with 16 pages of 4 KiB per block: one superblock
  // is 1 MiB, and about 1.5 % of the 2,048 F-blocks are bad.
  DriveConfig config;
  config.geometry.pagesPerBlock = 16;
  config.geometry.pageSizeKiB = 4;
  DriveModel model{config};
  const uint32_t perSuperblock = model.ftl.UnitsPerSuperblock() * 8;
  const std::vector<uint8_t> data = Pattern(0, perSuperblock, 5);
  std::vector<int> opened;
  for (uint32_t lba = 0; lba < 40 * perSuperblock; lba += perSuperblock) {
    ASSERT_TRUE(model.ftl.Write(lba, perSuperblock, data.data()));
    LbaLocation l;
    ASSERT_TRUE(model.ftl.Locate(lba, &l));
    opened.push_back(l.fblock);
  }
  std::set<int> used(opened.begin(), opened.end());
  EXPECT_EQ(used.size(), opened.size());
  for (size_t k = 0; k < opened.size(); ++k) {
    EXPECT_FALSE(model.badBlocks.IsFBlockBad(opened[k])) << opened[k];
    EXPECT_FALSE(IsSystemFBlock(opened[k], config.geometry)) << opened[k];
    if (k > 0) {
      EXPECT_LE(model.EraseCountOf(opened[k - 1]), model.EraseCountOf(opened[k]));
    }
  }
  // No superblock left free (erased, good, unused) is less worn than the last one taken.
  for (int f = 0; f < config.geometry.TotalFBlocks(); ++f) {
    if (IsSystemFBlock(f, config.geometry) || model.badBlocks.IsFBlockBad(f) || used.count(f) != 0 ||
        model.flash.InitialContentOf(model.layout.BlockOfFBlock(f, 0, 0, 0)) != InitialContent::kErased) {
      continue;
    }
    EXPECT_GE(model.EraseCountOf(f), model.EraseCountOf(opened.back())) << f;
  }
}

TEST(FtlTest, GarbageCollectionKeepsEveryWriteAndWearsTheBlocks) {
  // Random writes of random length over a small used drive, three times its
  // capacity: every sector reads back as last written.
  SimulatedDrive drive{SmallDrive(850)};
  const uint32_t capacity = drive.capacity();
  ASSERT_GT(capacity, 0u);
  const auto erasedBefore = drive.model().AverageEraseCount();
  std::vector<uint8_t> shadow(static_cast<size_t>(capacity) * 512, 0);
  std::mt19937 random(4810);
  uint64_t written = 0;
  for (int salt = 0; written < 3ull * capacity; ++salt) {
    const uint32_t count = 1 + random() % 40;
    const uint32_t lba = random() % (capacity - count);
    const std::vector<uint8_t> data = Pattern(lba, count, static_cast<uint8_t>(salt));
    ASSERT_TRUE(testing::ScsiWrite(drive, lba, count, data.data())) << written;
    std::copy(data.begin(), data.end(), shadow.begin() + static_cast<long>(lba) * 512);
    written += count;
  }
  const FtlStatistics stats = drive.model().ftl.Statistics();
  EXPECT_GT(stats.superblocksErased, 0u);
  EXPECT_GT(stats.unitsRelocated, 0u);
  EXPECT_GE(stats.freeSuperblocks, 1);
  EXPECT_GT(drive.model().AverageEraseCount(), erasedBefore);
  std::vector<uint8_t> back(64 * 512);
  for (uint32_t lba = 0; lba < capacity; lba += 64) {
    const uint32_t n = std::min<uint32_t>(64, capacity - lba);
    ASSERT_TRUE(testing::ScsiRead(drive, lba, n, back.data()));
    ASSERT_TRUE(std::equal(back.begin(), back.begin() + n * 512, shadow.begin() + static_cast<long>(lba) * 512))
        << "LBA " << lba;
  }
  // The flash holds no more than its own size, whatever was written.
  const FlashGeometry& g = drive.config().geometry;
  EXPECT_LE(drive.StoredFlashBytes(), static_cast<size_t>(g.TotalFBlocks()) * 8 * g.pagesPerBlock * (g.PageBytes() + g.spareBytes));
}

TEST(FtlTest, HostWriteCountersAndEraseCountsMoveWithTheWrites) {
  SimulatedDrive drive{SmallDrive(850)};
  auto raw = [&drive](uint8_t id) -> uint64_t {
    const auto smart = BuildSmart(drive.model());
    for (size_t at = 2; at + 12 <= 362; at += 12) {
      if (smart[at] != id) continue;
      uint64_t v = 0;
      for (int i = 5; i >= 0; --i) v = (v << 8) | smart[at + 5 + static_cast<size_t>(i)];
      return v;
    }
    return 0;
  };
  const uint64_t written = raw(0xF1), read = raw(0xF2), average = raw(0xAD) & 0xFFFF;
  const std::vector<uint8_t> data = Pattern(0, 64, 1);
  for (int pass = 0; pass < 3; ++pass) {
    for (uint32_t lba = 0; lba + 64 <= drive.capacity(); lba += 64) ASSERT_TRUE(testing::ScsiWrite(drive, lba, 64, data.data()));
  }
  std::vector<uint8_t> back(64 * 512);
  ASSERT_TRUE(testing::ScsiRead(drive, 0, 64, back.data()));
  EXPECT_EQ(raw(0xF1), written + 3 * (drive.capacity() / 64 * 64));
  EXPECT_GE(raw(0xF2), read + 64);
  EXPECT_GT(raw(0xAD) & 0xFFFF, average);
}

TEST(FtlTest, MemoryFollowsWhatWasWritten) {
  SimulatedDrive drive{DriveConfig{}};
  EXPECT_EQ(drive.StoredFlashBytes(), 0u);
  const std::vector<uint8_t> data = Pattern(0, 32, 2);
  // Two pages' worth at the two ends of a 128 GB drive.
  ASSERT_TRUE(testing::ScsiWrite(drive, 0, 32, data.data()));
  ASSERT_TRUE(testing::ScsiWrite(drive, drive.capacity() - 32, 32, data.data()));
  EXPECT_EQ(drive.StoredFlashBytes(), 2u * (16384 + 512));
  EXPECT_EQ(drive.model().ftl.Statistics().mappedUnits, 8u);
}

TEST(FtlTest, AFullDriveOfWornBlocksRefusesWritesButKeepsWhatItAcknowledged) {
  DriveConfig config = SmallDrive(0);
  config.ratedCycles = 1;  // blocks last a handful of erases
  SimulatedDrive drive(config);
  const uint32_t capacity = drive.capacity();
  std::vector<uint8_t> shadow(static_cast<size_t>(capacity) * 512, 0);
  uint32_t refusedLba = 0;
  bool refused = false;
  for (int pass = 0; pass < 400 && !refused; ++pass) {
    for (uint32_t lba = 0; lba + 24 <= capacity && !refused; lba += 24) {  // three units, across pages
      const std::vector<uint8_t> data = Pattern(lba, 24, static_cast<uint8_t>(pass));
      if (testing::ScsiWrite(drive, lba, 24, data.data())) {
        std::copy(data.begin(), data.end(), shadow.begin() + static_cast<long>(lba) * 512);
      } else {
        refused = true;
        refusedLba = lba;
      }
    }
  }
  ASSERT_TRUE(refused);
  EXPECT_TRUE(drive.model().ftl.ReadOnly());
  EXPECT_GT(drive.model().RunTimeBadCount(), 0);
  const std::vector<uint8_t> more = Pattern(0, 8, 0x77);
  EXPECT_FALSE(testing::ScsiWrite(drive, 0, 8, more.data()));
  std::vector<uint8_t> back(24 * 512);
  for (uint32_t lba = 0; lba + 24 <= capacity; lba += 24) {
    if (lba == refusedLba) continue;  // the write that failed may have stored part of itself
    ASSERT_TRUE(testing::ScsiRead(drive, lba, 24, back.data()));
    ASSERT_TRUE(std::equal(back.begin(), back.end(), shadow.begin() + static_cast<long>(lba) * 512)) << "LBA " << lba;
  }
}

}  // namespace
}  // namespace dozered::sim
