// The sector level of a simulated drive on each transport.
#include <gtest/gtest.h>

#include <cstring>

#include "sim/simulated_drive.h"
#include "support/sim_vendor_host.h"

namespace dozered::sim {
namespace {

ScsiOutcome Scsi(SimulatedDrive& drive, std::initializer_list<uint8_t> cdb, uint8_t* data, uint32_t length,
                 bool dataIn = true) {
  ScsiCommand command;
  std::copy(cdb.begin(), cdb.end(), command.cdb);
  command.cdbLength = static_cast<uint8_t>(cdb.size());
  command.dataIn = dataIn;
  command.data = data;
  command.length = length;
  ScsiOutcome outcome;
  EXPECT_TRUE(drive.ExecuteScsi(command, outcome));
  return outcome;
}

TEST(DriveScsiTest, InquiryAndReadCapacityDescribeTheDrive) {
  DriveConfig config;
  config.transport = Transport::kScsi;
  config.vendor = "Generic";
  config.product = "VE4810VO Disk";
  config.revision = "1.26";
  SimulatedDrive drive(config);
  uint8_t inquiry[36] = {};
  EXPECT_EQ(Scsi(drive, {0x12, 0, 0, 0, 36, 0}, inquiry, 36).status, kScsiStatusGood);
  EXPECT_EQ(inquiry[0], 0);
  EXPECT_EQ(std::memcmp(inquiry + 8, "Generic VE4810VO Disk   1.26", 28), 0);
  uint8_t capacity[8] = {};
  EXPECT_EQ(Scsi(drive, {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, capacity, 8).status, kScsiStatusGood);
  const uint32_t last = (capacity[0] << 24) | (capacity[1] << 16) | (capacity[2] << 8) | capacity[3];
  EXPECT_EQ(last + 1, drive.capacity());
  EXPECT_EQ(capacity[6], 0x02);  // 512-byte blocks
}

TEST(DriveScsiTest, RefusesUnknownCommandsShortBuffersAndLbasBeyondTheEnd) {
  SimulatedDrive drive{DriveConfig{}};
  uint8_t buffer[1024] = {};
  ScsiOutcome unknown = Scsi(drive, {0xFF, 0, 0, 0, 0, 0}, buffer, 0);
  EXPECT_EQ(unknown.status, kScsiStatusCheckCondition);
  EXPECT_EQ(unknown.sense[2], 0x05);
  EXPECT_EQ(Scsi(drive, {0x28, 0, 0, 0, 0, 0, 0, 0, 4, 0}, buffer, 1024).status, kScsiStatusCheckCondition);
  const uint32_t end = drive.capacity();
  ScsiOutcome beyond = Scsi(drive, {0x28, 0, static_cast<uint8_t>(end >> 24), static_cast<uint8_t>(end >> 16),
                                    static_cast<uint8_t>(end >> 8), static_cast<uint8_t>(end), 0, 0, 1, 0},
                            buffer, 512);
  EXPECT_EQ(beyond.sense[12], 0x21);
}

TEST(DriveAtaTest, IdentifyAndDmaTransfersOnASataDrive) {
  SimulatedDrive drive{DriveConfig{}};
  uint8_t identify[512] = {};
  AtaCommand id;
  id.current.command = 0xEC;
  id.data = identify;
  id.length = 512;
  ASSERT_TRUE(drive.ExecuteAta(id));
  EXPECT_EQ(identify[0], 0x40);

  uint8_t out[1024];
  for (int i = 0; i < 1024; ++i) out[i] = static_cast<uint8_t>(i);
  AtaCommand write;
  write.current.command = 0x35;  // WRITE DMA EXT at LBA 0x01000010
  write.current.lbaLow = 0x10;
  write.previous.lbaLow = 0x01;
  write.current.sectorCount = 2;
  write.data = out;
  write.length = 1024;
  ASSERT_TRUE(drive.ExecuteAta(write));
  uint8_t in[512] = {};
  AtaCommand read;
  read.current.command = 0xC8;  // READ DMA, LBA28 with the top nibble in the device register
  read.current.lbaLow = 0x11;
  read.current.device = 0x41;
  read.current.sectorCount = 1;
  read.data = in;
  read.length = 512;
  ASSERT_TRUE(drive.ExecuteAta(read));
  EXPECT_EQ(std::memcmp(in, out + 512, 512), 0);

  DriveConfig scsiOnly;
  scsiOnly.transport = Transport::kScsi;
  SimulatedDrive bridge(scsiOnly);
  EXPECT_FALSE(bridge.ExecuteAta(id));
}

TEST(DriveNvmeTest, IdentifyControllerCarriesSerialModelAndFirmware) {
  DriveConfig config;
  config.transport = Transport::kNvme;
  config.model = "VE4810VO NVMe 128GB";
  config.serial = "SN0001";
  config.firmware = "VO1.26A0";
  SimulatedDrive drive(config);
  std::vector<uint8_t> data(4096);
  NvmeAdminCommand identify;
  identify.submission[0] = 0x06;
  identify.submission[40] = 1;
  identify.data = data.data();
  identify.length = 4096;
  ASSERT_TRUE(drive.ExecuteNvmeAdmin(identify));
  EXPECT_EQ(std::memcmp(data.data() + 4, "SN0001 ", 7), 0);
  EXPECT_EQ(std::memcmp(data.data() + 24, "VE4810VO NVMe 128GB ", 20), 0);
  EXPECT_EQ(std::memcmp(data.data() + 64, "VO1.26A0", 8), 0);
  identify.submission[0] = 0x02;  // Get Log Page is not served
  EXPECT_FALSE(drive.ExecuteNvmeAdmin(identify));
  SimulatedDrive sata{DriveConfig{}};
  identify.submission[0] = 0x06;
  EXPECT_FALSE(sata.ExecuteNvmeAdmin(identify));
}

}  // namespace
}  // namespace dozered::sim
