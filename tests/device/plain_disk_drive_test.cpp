#include "device/plain_disk_drive.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace dozered {
namespace {

ScsiOutcome Execute(PlainDiskDrive& drive, std::vector<uint8_t> cdb, std::vector<uint8_t>& data, bool dataIn) {
  ScsiCommand command;
  std::memcpy(command.cdb, cdb.data(), cdb.size());
  command.cdbLength = static_cast<uint8_t>(cdb.size());
  command.dataIn = dataIn;
  command.data = data.data();
  command.length = static_cast<uint32_t>(data.size());
  ScsiOutcome outcome;
  EXPECT_TRUE(drive.ExecuteScsi(command, outcome));
  return outcome;
}

std::string AtaString(const uint8_t* identify, int word, int words) {
  std::string text;
  for (int i = 0; i < words * 2; ++i) text += static_cast<char>(identify[word * 2 + (i ^ 1)]);
  return text;
}

TEST(PlainDiskDriveTest, ScsiErrorsCarrySenseKeys) {
  PlainDiskOptions options;
  options.sectorCount = 100;
  options.failingSectors = {50};
  PlainDiskDrive drive(options);
  std::vector<uint8_t> sector(512);
  struct Case {
    const char* name;
    std::vector<uint8_t> cdb;
    bool dataIn;
    uint8_t status;
    uint8_t key;
    uint8_t asc;
  };
  const Case cases[] = {
      {"good read", {0x28, 0, 0, 0, 0, 49, 0, 0, 1, 0}, true, 0, 0, 0},
      {"failing sector read", {0x28, 0, 0, 0, 0, 50, 0, 0, 1, 0}, true, 2, 3, 0x11},
      {"failing sector write", {0x2A, 0, 0, 0, 0, 50, 0, 0, 1, 0}, false, 2, 3, 0x0C},
      {"past the end", {0x28, 0, 0, 0, 0, 100, 0, 0, 1, 0}, true, 2, 5, 0x21},
      {"more sectors than the buffer", {0x28, 0, 0, 0, 0, 0, 0, 0, 2, 0}, true, 2, 5, 0x24},
      {"write with a data-in transfer", {0x2A, 0, 0, 0, 0, 0, 0, 0, 1, 0}, true, 2, 5, 0x24},
      {"unknown opcode", {0xA8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, true, 2, 5, 0x20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ScsiOutcome outcome = Execute(drive, c.cdb, sector, c.dataIn);
    EXPECT_EQ(outcome.status, c.status);
    if (c.status == 0) continue;
    EXPECT_EQ(outcome.sense[0], 0x70);
    EXPECT_EQ(outcome.sense[2], c.key);
    EXPECT_EQ(outcome.sense[12], c.asc);
  }
}

TEST(PlainDiskDriveTest, AtaIdentifyDescribesTheDiskAndOnlyAtaDisksAnswer) {
  PlainDiskOptions options;
  options.sectorCount = 0x123456;
  options.answersAta = true;
  options.serial = "S123";
  PlainDiskDrive drive(options);
  std::vector<uint8_t> identify(512);
  AtaCommand command;
  command.ataFlags = 0x03;
  command.current.device = 0xE0;
  command.current.command = 0xEC;
  command.data = identify.data();
  command.length = 512;
  ASSERT_TRUE(drive.ExecuteAta(command));
  EXPECT_EQ(AtaString(identify.data(), 10, 10), "S123                ");
  EXPECT_EQ(AtaString(identify.data(), 27, 20).substr(0, 18), "DOZERED PLAIN DISK");
  EXPECT_EQ(identify[120] | identify[121] << 8 | identify[122] << 16 | identify[123] << 24, 0x123456);
  EXPECT_EQ(identify[510], 0xA5);
  uint8_t sum = 0;
  for (uint8_t b : identify) sum = static_cast<uint8_t>(sum + b);
  EXPECT_EQ(sum, 0);

  PlainDiskDrive scsiOnly;
  EXPECT_FALSE(scsiOnly.ExecuteAta(command));
  NvmeAdminCommand nvme;
  EXPECT_FALSE(drive.ExecuteNvmeAdmin(nvme));
}

TEST(PlainDiskDriveTest, FileBackedImageKeepsItsSectors) {
  testing::TempDir dir;
  PlainDiskOptions options;
  options.imagePath = dir.Path("disk.img");
  options.sectorCount = 64;
  std::vector<uint8_t> out(512, 0x3C);
  {
    PlainDiskDrive drive(options);
    ASSERT_TRUE(drive.IsUsable());
    ASSERT_TRUE(drive.WriteSector(63, out.data()));
    std::vector<uint8_t> unwritten(512, 0xFF);
    ASSERT_TRUE(drive.ReadSector(10, unwritten.data()));
    EXPECT_EQ(unwritten, std::vector<uint8_t>(512, 0));
  }
  options.sectorCount = 1;  // the existing image decides its size
  PlainDiskDrive again(options);
  EXPECT_EQ(again.SectorCount(), 64u);
  std::vector<uint8_t> in(512);
  ASSERT_TRUE(again.ReadSector(63, in.data()));
  EXPECT_EQ(in, out);
  EXPECT_FALSE(again.ReadSector(64, in.data()));

  options.imagePath = dir.Path("missing/folder/disk.img");
  PlainDiskDrive broken(options);
  EXPECT_FALSE(broken.IsUsable());
  ScsiCommand command;
  ScsiOutcome outcome;
  EXPECT_FALSE(broken.ExecuteScsi(command, outcome));
}

}  // namespace
}  // namespace dozered
