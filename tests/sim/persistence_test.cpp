// A drive with a state file keeps what was written across a restart.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>

#include "sim/code_images.h"
#include "sim/drive_state_file.h"
#include "sim/records.h"
#include "sim/sim_hash.h"
#include "sim/simulated_drive.h"
#include "support/file_bytes.h"
#include "support/sim_code_loading.h"
#include "support/sim_vendor_host.h"
#include "support/temp_dir.h"

namespace dozered::sim {
namespace {

using testing::CommandBlock;
using testing::Sector;

class PersistenceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    config_.stateFile = dir_.Path("drive.state");
    config_.cardMode = 0;
  }

  std::vector<uint8_t> ReadFlash(SimulatedDrive& drive, uint16_t block, uint16_t page) {
    Sector command = CommandBlock(0xF0, 0x0A);
    testing::SetFlashAddress(command, block, page, 0, 0x21, 0x02);
    return testing::ReadReply(drive, command, 33 * 512);
  }

  testing::TempDir dir_;
  DriveConfig config_;
};

TEST_F(PersistenceTest, WrittenSectorsPagesErasesAndModeSurviveARestart) {
  Sector user;
  user.fill(0x5C);
  std::vector<uint8_t> page(16384, 0x81);
  uint16_t eraseCount = 0;
  {
    SimulatedDrive drive(config_);
    ASSERT_TRUE(testing::ScsiWrite(drive, 1000, 1, user.data()));
    ASSERT_EQ(testing::LoadMpisp(drive, BuildMpispFile(drive.model().identity.ispVersion, 70000)), 0);
    Sector erase = CommandBlock(0xF0, 0x0C);
    testing::SetFlashAddress(erase, 6, 0, 0, 0x21, 0x02);
    std::vector<uint8_t> reply(33 * 512);
    ASSERT_EQ(testing::ExchangeIn(drive, erase, reply.data(), 33 * 512), 0);
    Sector write = CommandBlock(0xF1, 0x0B);
    testing::SetFlashAddress(write, 6, 2, 0, 0x21, 0x02);
    ASSERT_EQ(testing::ExchangeOut(drive, write, page.data(), 16384), 0);
    eraseCount = static_cast<uint16_t>(drive.model().EraseCountOf(6));
  }
  SimulatedDrive restarted(config_);
  EXPECT_EQ(testing::ReadSector(restarted, 1000), user);
  EXPECT_EQ(testing::CardModeOf(restarted), 1);
  const auto read = ReadFlash(restarted, 6, 2);
  ASSERT_FALSE(read.empty());
  EXPECT_EQ(read[0], 0x81);
  EXPECT_EQ(read[16383], 0x81);
  EXPECT_EQ(read[16384 + 16], 6 * 256 % 256 + 2);  // the spare tags came back, scrambled as written
  EXPECT_EQ(restarted.model().EraseCountOf(6), eraseCount);
  // The page is still programmed: a second program is refused.
  Sector write = CommandBlock(0xF1, 0x0B);
  testing::SetFlashAddress(write, 6, 2, 0, 0x21, 0x02);
  EXPECT_EQ(testing::ExchangeOut(restarted, write, page.data(), 16384), -7);
}

TEST_F(PersistenceTest, AFileThatIsNotAJournalIsNeverWritten) {
  const std::string text = "[VE4810VO SATA SSD]\r\nKind=controller\r\nStateFile=VirtualDrives.ini\r\n";
  const std::string path = dir_.Write("VirtualDrives.ini", text);
  config_.stateFile = path;
  Sector user;
  user.fill(0x42);
  {
    SimulatedDrive drive(config_);
    EXPECT_FALSE(drive.persistent());
    EXPECT_NE(drive.stateNote().find("is not a state journal"), std::string::npos) << drive.stateNote();
    ASSERT_TRUE(testing::ScsiWrite(drive, 3, 1, user.data()));
    EXPECT_EQ(testing::ReadSector(drive, 3), user);  // the drive works, without persistence
  }
  std::string after;
  ASSERT_TRUE(testing::ReadFileBytes(path, after));
  EXPECT_EQ(after, text);
}

TEST_F(PersistenceTest, TheJournalOfAnotherDriveIsNeitherAppliedNorOverwritten) {
  Sector user;
  user.fill(0x11);
  {
    SimulatedDrive drive(config_);
    ASSERT_TRUE(testing::ScsiWrite(drive, 5, 1, user.data()));
  }
  DriveConfig other = config_;
  other.seed = 99;
  {
    SimulatedDrive drive(other);
    EXPECT_FALSE(drive.persistent());
    EXPECT_NE(drive.stateNote().find("another drive"), std::string::npos) << drive.stateNote();
    EXPECT_EQ(testing::ReadSector(drive, 5), Sector{});
    Sector mine;
    mine.fill(0x99);
    ASSERT_TRUE(testing::ScsiWrite(drive, 6, 1, mine.data()));
  }
  SimulatedDrive first(config_);
  EXPECT_TRUE(first.persistent());
  EXPECT_EQ(testing::ReadSector(first, 5), user);
  EXPECT_EQ(testing::ReadSector(first, 6), Sector{});
}

TEST_F(PersistenceTest, TwoDrivesSharingAStateFileAreKeptApart) {
  Sector a, b;
  a.fill(0xA1);
  b.fill(0xB2);
  {
    SimulatedDrive first(config_);
    SimulatedDrive second(config_);  // the same file, while the first holds it
    EXPECT_TRUE(first.persistent());
    EXPECT_FALSE(second.persistent());
    EXPECT_NE(second.stateNote().find("in use by another drive"), std::string::npos) << second.stateNote();
    ASSERT_TRUE(testing::ScsiWrite(first, 10, 1, a.data()));
    ASSERT_TRUE(testing::ScsiWrite(second, 11, 1, b.data()));
  }
  SimulatedDrive restarted(config_);
  EXPECT_EQ(testing::ReadSector(restarted, 10), a);
  EXPECT_EQ(testing::ReadSector(restarted, 11), Sector{});
}

TEST_F(PersistenceTest, ADamagedJournalIsSetAsideAndTheStateBeforeTheDamageKept) {
  config_.cardMode = 2;
  std::vector<Sector> sectors(3);
  {
    SimulatedDrive drive(config_);
    for (size_t k = 0; k < sectors.size(); ++k) {
      sectors[k].fill(static_cast<uint8_t>(0x31 + k));
      ASSERT_TRUE(testing::ScsiWrite(drive, static_cast<uint32_t>(100 + 8 * k), 1, sectors[k].data()));
    }
  }
  std::string journal;
  ASSERT_TRUE(testing::ReadFileBytes(config_.stateFile, journal));
  // The journal holds a 16-byte header, then three write records (type,
  // length, LBA, count, a sector, CRC): flip a data byte of the second.
  const size_t record = 1 + 4 + 12 + 512 + 4;
  journal[16 + record + 100] = static_cast<char>(journal[16 + record + 100] ^ 0x01);
  dir_.Write("drive.state", journal);
  {
    SimulatedDrive drive(config_);
    EXPECT_TRUE(drive.persistent());
    EXPECT_NE(drive.stateNote().find("set aside as " + config_.stateFile + ".damaged"), std::string::npos)
        << drive.stateNote();
    EXPECT_EQ(testing::ReadSector(drive, 100), sectors[0]);
    EXPECT_EQ(testing::ReadSector(drive, 108), Sector{});
    EXPECT_EQ(testing::ReadSector(drive, 116), Sector{});
  }
  std::string aside;
  ASSERT_TRUE(testing::ReadFileBytes(config_.stateFile + ".damaged", aside));
  EXPECT_EQ(aside, journal);
  SimulatedDrive again(config_);
  EXPECT_TRUE(again.stateNote().empty()) << again.stateNote();
  EXPECT_EQ(testing::ReadSector(again, 100), sectors[0]);
}

// A drive whose whole flash is 16 blocks of 8 pages of 8 KiB (the system
// blocks included): 512 user sectors.
DriveConfig TinyDrive(const std::string& stateFile) {
  DriveConfig c;
  c.geometry.channels = 1;
  c.geometry.ces = 1;
  c.geometry.interleaveWays = 1;
  c.geometry.planes = 1;
  c.geometry.blocksPerCe = 16;
  c.geometry.pagesPerBlock = 8;
  c.geometry.pageSizeKiB = 8;
  c.stateFile = stateFile;
  return c;
}

TEST_F(PersistenceTest, TheJournalIsCompactedWhenItGrows) {
  DriveConfig config = TinyDrive(config_.stateFile);
  config.stateJournalLimit = 64 * 1024;
  const uint64_t rawFlash = 16ull * 8 * (8192 + 512);
  Sector last;
  uint64_t largest = 0;
  {
    SimulatedDrive drive(config);
    ASSERT_EQ(drive.capacity(), 512u);
    for (int k = 0; k < 2000; ++k) {
      last.fill(static_cast<uint8_t>(k));
      ASSERT_TRUE(testing::ScsiWrite(drive, static_cast<uint32_t>(k % 512), 1, last.data()));
      largest = std::max<uint64_t>(largest, std::filesystem::file_size(config.stateFile));
    }
    EXPECT_TRUE(drive.persistent());
  }
  // 2,000 records of a sector each would take a megabyte; the journal stays
  // within twice what the flash can hold and the limit.
  EXPECT_LT(largest, 2 * rawFlash + config.stateJournalLimit + 65536);
  SimulatedDrive restarted(config);
  EXPECT_EQ(testing::ReadSector(restarted, 1999 % 512), last);
}

class FtlPersistenceTest : public PersistenceTest, public ::testing::WithParamInterface<uint64_t> {};

TEST_P(FtlPersistenceTest, ARestartRebuildsTheTranslationLayerExactly) {
  // Enough random writes for garbage collection, ending with a unit that
  // still waits in the controller's RAM.
  DriveConfig config = TinyDrive(config_.stateFile);
  config.stateJournalLimit = GetParam();
  std::vector<uint8_t> translations, eraseCounts;
  std::vector<Sector> expected(512);
  {
    SimulatedDrive drive(config);
    std::mt19937 random(7);
    LbaLocation tail;
    for (int k = 0; k < 1200 || !tail.buffered; ++k) {
      const uint32_t lba = random() % 512;
      expected[lba].fill(static_cast<uint8_t>(k));
      ASSERT_TRUE(testing::ScsiWrite(drive, lba, 1, expected[lba].data()));
      ASSERT_TRUE(drive.model().ftl.Locate(lba, &tail));
    }
    ASSERT_GT(drive.model().ftl.Statistics().superblocksErased, 0u);
    eraseCounts = BuildEraseCountTable(drive.model());
    for (uint32_t lba = 0; lba < 512; ++lba) {
      const auto answer = BuildTranslation(drive.model(), lba);
      translations.insert(translations.end(), answer.begin(), answer.begin() + 22);
    }
  }
  SimulatedDrive restarted(config);
  EXPECT_TRUE(restarted.stateNote().empty()) << restarted.stateNote();
  EXPECT_EQ(BuildEraseCountTable(restarted.model()), eraseCounts);
  std::vector<uint8_t> again;
  for (uint32_t lba = 0; lba < 512; ++lba) {
    const auto answer = BuildTranslation(restarted.model(), lba);
    again.insert(again.end(), answer.begin(), answer.begin() + 22);
  }
  EXPECT_EQ(again, translations);
  for (uint32_t lba = 0; lba < 512; ++lba) EXPECT_EQ(testing::ReadSector(restarted, lba), expected[lba]) << lba;
}

// Journal limits: never compacted, compacted again and again.
INSTANTIATE_TEST_SUITE_P(Limits, FtlPersistenceTest, ::testing::Values(1ull << 40, 16ull * 1024));

TEST_F(PersistenceTest, AJournalOfTheFirstFormatIsReplayedAndRewritten) {
  // The first format: "DZSIMST1", a hash of the seed and geometry, then
  // unframed records; 'U' holds one sector (LBA, 512 bytes).
  const FlashGeometry& g = config_.geometry;
  uint64_t fingerprint = SplitMix64(config_.seed);
  for (int v : {g.channels, g.ces, g.interleaveWays, g.planes, g.blocksPerCe, g.pagesPerBlock, g.pageSizeKiB, g.spareBytes}) {
    fingerprint = SplitMix64(fingerprint ^ static_cast<uint64_t>(v));
  }
  std::string journal = "DZSIMST1";
  for (int k = 0; k < 8; ++k) journal += static_cast<char>(fingerprint >> (8 * k));
  Sector user;
  user.fill(0x6D);
  journal += 'U';
  for (int k = 0; k < 8; ++k) journal += static_cast<char>(k == 0 ? 42 : 0);
  journal.append(reinterpret_cast<const char*>(user.data()), user.size());
  dir_.Write("drive.state", journal);
  {
    SimulatedDrive drive(config_);
    EXPECT_TRUE(drive.persistent());
    EXPECT_EQ(testing::ReadSector(drive, 42), user);
  }
  std::string now;
  ASSERT_TRUE(testing::ReadFileBytes(config_.stateFile, now));
  EXPECT_EQ(now.substr(0, 8), "DZSIMST2");
  SimulatedDrive again(config_);
  EXPECT_EQ(testing::ReadSector(again, 42), user);
}

TEST_F(PersistenceTest, CutOffTailIsDroppedAndLaterWritesStillCount) {
  Sector a, b;
  a.fill(0xAA);
  b.fill(0xBB);
  {
    SimulatedDrive drive(config_);
    ASSERT_TRUE(testing::ScsiWrite(drive, 1, 1, a.data()));
  }
  {
    std::FILE* f = std::fopen(config_.stateFile.c_str(), "ab");
    const uint8_t partial[3] = {'U', 1, 2};
    std::fwrite(partial, 1, sizeof partial, f);
    std::fclose(f);
    SimulatedDrive drive(config_);
    EXPECT_EQ(testing::ReadSector(drive, 1), a);
    ASSERT_TRUE(testing::ScsiWrite(drive, 2, 1, b.data()));
  }
  SimulatedDrive drive(config_);
  EXPECT_EQ(testing::ReadSector(drive, 1), a);
  EXPECT_EQ(testing::ReadSector(drive, 2), b);
}

TEST_F(PersistenceTest, TraceHasOneLinePerSectorAccess) {
  config_.stateFile.clear();
  config_.traceFile = dir_.Path("drive.trace");
  {
    SimulatedDrive drive(config_);
    std::vector<uint8_t> reply(2048);
    ASSERT_EQ(testing::ExchangeIn(drive, CommandBlock(0xF0, 0x20), reply.data(), 2048), 0);
  }
  std::string text;
  ASSERT_TRUE(testing::ReadFileBytes(config_.traceFile, text));
  size_t lines = 0;
  for (size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos; at += 2) ++lines;
  EXPECT_EQ(lines, 10u);
  EXPECT_NE(text.find("R LBA 0x000055AA count 1 ok unlock 5, signature"), std::string::npos);
  EXPECT_NE(text.find("W LBA 0x000055AA count 1 ok command 0x20"), std::string::npos);
}

}  // namespace
}  // namespace dozered::sim
