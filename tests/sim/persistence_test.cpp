// A drive with a state file keeps what was written across a restart.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "sim/code_images.h"
#include "sim/drive_state_file.h"
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

TEST_F(PersistenceTest, StateOfAnotherDriveIsNotApplied) {
  Sector user;
  user.fill(0x11);
  {
    SimulatedDrive drive(config_);
    ASSERT_TRUE(testing::ScsiWrite(drive, 5, 1, user.data()));
  }
  config_.seed = 99;
  SimulatedDrive other(config_);
  EXPECT_EQ(testing::ReadSector(other, 5), Sector{});
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
