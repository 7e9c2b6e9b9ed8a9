#include "sim/vendor_protocol.h"

#include <gtest/gtest.h>

#include <cstring>

#include "sim/simulated_drive.h"
#include "support/sim_vendor_host.h"

namespace dozered::sim {
namespace {

using testing::CommandBlock;
using testing::ExchangeIn;
using testing::ExchangeOut;
using testing::ReadSector;
using testing::ScsiRead;
using testing::ScsiWrite;
using testing::Sector;

Sector Filled(uint8_t value) {
  Sector s;
  s.fill(value);
  return s;
}

TEST(VendorProtocolTest, UnlockReturnsTheConfiguredSignatureAtOffset46) {
  for (const char* signature : {"VE4810VO", "VE4810VI"}) {
    DriveConfig config;
    config.signature = signature;
    SimulatedDrive drive(config);
    char got[9];
    ASSERT_EQ(testing::Unlock(drive, got), 0);
    EXPECT_STREQ(got, signature);
  }
}

TEST(VendorProtocolTest, UnlockReadsAreOrdinaryReadsUntilTheLastOne) {
  SimulatedDrive drive{DriveConfig{}};
  const Sector data = Filled(0x3C);
  ASSERT_TRUE(ScsiWrite(drive, 0xAA00, 1, data.data()));
  Sector got{};
  ASSERT_TRUE(ScsiRead(drive, 0xAA, 1, got.data()));
  ASSERT_TRUE(ScsiRead(drive, 0xAA00, 1, got.data()));
  EXPECT_EQ(got, data);
}

TEST(VendorProtocolTest, OutOfOrderReadDisarmsTheSequence) {
  SimulatedDrive drive{DriveConfig{}};
  Sector reply{};
  for (uint32_t lba : {0xAAu, 0xAA00u, 0x77u, 0x55u, 0x5500u, 0x55AAu}) ASSERT_TRUE(ScsiRead(drive, lba, 1, reply.data()));
  EXPECT_NE(std::memcmp(reply.data() + 46, "VE4810VO", 8), 0);
}

TEST(VendorProtocolTest, ArmedDriveTakesACommandAndKeepsTheUserSectorAtTheCommandAddress) {
  SimulatedDrive drive{DriveConfig{}};
  const Sector user = Filled(0xA5);
  ASSERT_TRUE(ScsiWrite(drive, 0x55AA, 1, user.data()));
  std::vector<uint8_t> reply(2048);
  ASSERT_EQ(ExchangeIn(drive, CommandBlock(0xF0, 0x20), reply.data(), 2048), 0);
  EXPECT_EQ(std::memcmp(reply.data(), "VE4810VO", 8), 0);
  EXPECT_EQ(ReadSector(drive, 0x55AA), user);
}

TEST(VendorProtocolTest, ReadOf0x1234LeavesVendorMode) {
  SimulatedDrive drive{DriveConfig{}};
  char signature[9];
  ASSERT_EQ(testing::Unlock(drive, signature), 0);
  Sector scratch{};
  ASSERT_TRUE(ScsiRead(drive, 0x1234, 1, scratch.data()));
  const Sector command = CommandBlock(0xF0, 0x20);
  ASSERT_TRUE(ScsiWrite(drive, 0x55AA, 1, command.data()));
  EXPECT_EQ(ReadSector(drive, 0x55AA), command);  // stored as data
}

TEST(VendorProtocolTest, CommandRefusedInThisModeFailsTheDataPhaseOnly) {
  DriveConfig config;
  config.cardMode = 0;
  SimulatedDrive drive(config);
  const Sector user = Filled(0x11);
  ASSERT_TRUE(ScsiWrite(drive, 0x55AA, 1, user.data()));
  std::vector<uint8_t> reply(512);
  EXPECT_EQ(ExchangeIn(drive, CommandBlock(0xF0, 0x3E), reply.data(), 512), -7);
  EXPECT_EQ(ReadSector(drive, 0x55AA), user);
  // The drive is back to normal: the next command works.
  EXPECT_EQ(ExchangeIn(drive, CommandBlock(0xF0, 0x3F), reply.data(), 512), 0);
}

TEST(VendorProtocolTest, FallbackVariantRefusesCommandsAt55AAAndTakesThemAt0789) {
  DriveConfig config;
  config.intercept = CommandIntercept::kAtFallbackAddress;
  SimulatedDrive drive(config);
  const Sector user = Filled(0x42);
  ASSERT_TRUE(ScsiWrite(drive, 0x0789, 1, user.data()));
  std::vector<uint8_t> reply(2048);
  EXPECT_EQ(ExchangeIn(drive, CommandBlock(0xF0, 0x20), reply.data(), 2048, 0x55AA), -6);
  ASSERT_EQ(ExchangeIn(drive, CommandBlock(0xF0, 0x20), reply.data(), 2048, 0x0789), 0);
  EXPECT_EQ(std::memcmp(reply.data(), "VE4810VO", 8), 0);
  EXPECT_EQ(ReadSector(drive, 0x0789), user);
  EXPECT_EQ(ReadSector(drive, 0x55AA), Sector{});
}

TEST(VendorProtocolTest, MainAddressDriveStoresACommandWrittenAt0789) {
  SimulatedDrive drive{DriveConfig{}};
  const Sector saved = Filled(0x24);
  ASSERT_TRUE(ScsiWrite(drive, 0x0789, 1, saved.data()));
  std::vector<uint8_t> reply(2048);
  // Not intercepted: the data read returns the user sector at 0x55AA and the
  // check finds the block stored, so the saved sector is written back.
  EXPECT_EQ(ExchangeIn(drive, CommandBlock(0xF0, 0x20), reply.data(), 2048, 0x0789), 0);
  EXPECT_NE(std::memcmp(reply.data(), "VE4810VO", 8), 0);
  EXPECT_EQ(ReadSector(drive, 0x0789), saved);
}

TEST(VendorProtocolTest, NonInterceptingDriveStoresTheCommandBlockAsData) {
  DriveConfig config;
  config.intercept = CommandIntercept::kNone;
  SimulatedDrive drive(config);
  const Sector user = Filled(0x66);
  ASSERT_TRUE(ScsiWrite(drive, 0x55AA, 1, user.data()));
  char signature[9];
  ASSERT_EQ(testing::Unlock(drive, signature), 0);
  const Sector command = CommandBlock(0xF0, 0x20);
  ASSERT_TRUE(ScsiWrite(drive, 0x55AA, 1, command.data()));
  EXPECT_EQ(ReadSector(drive, 0x55AA), command);
  // A whole exchange restores the saved sector.
  std::vector<uint8_t> reply(2048);
  EXPECT_EQ(ExchangeIn(drive, CommandBlock(0xF0, 0x20), reply.data(), 2048), 0);
  EXPECT_EQ(ReadSector(drive, 0x55AA), command);  // the sector saved before was the block itself
}

TEST(VendorProtocolTest, NonInterceptingExchangeRestoresTheSavedSector) {
  DriveConfig config;
  config.intercept = CommandIntercept::kNone;
  SimulatedDrive drive(config);
  const Sector user = Filled(0x66);
  ASSERT_TRUE(ScsiWrite(drive, 0x55AA, 1, user.data()));
  std::vector<uint8_t> reply(512);
  EXPECT_EQ(ExchangeIn(drive, CommandBlock(0xF0, 0x3F), reply.data(), 512), 0);
  EXPECT_EQ(ReadSector(drive, 0x55AA), user);
}

TEST(VendorProtocolTest, PlainDiskAndOpticalDevice) {
  DriveConfig plain;
  plain.kind = DriveKind::kPlainDisk;
  SimulatedDrive disk(plain);
  char signature[9];
  ASSERT_EQ(testing::Unlock(disk, signature), 0);
  EXPECT_STRNE(signature, "VE4810VO");
  std::vector<uint8_t> reply(2048);
  EXPECT_EQ(ExchangeIn(disk, CommandBlock(0xF0, 0x20), reply.data(), 2048), -10);

  DriveConfig optical;
  optical.kind = DriveKind::kOptical;
  SimulatedDrive cd(optical);
  EXPECT_EQ(ExchangeIn(cd, CommandBlock(0xF0, 0x20), reply.data(), 2048), 0);
  ScsiCommand inquiry;
  inquiry.cdb[0] = 0x12;
  inquiry.cdb[4] = 36;
  inquiry.dataIn = true;
  uint8_t data[36] = {};
  inquiry.data = data;
  inquiry.length = 36;
  ScsiOutcome outcome;
  ASSERT_TRUE(cd.ExecuteScsi(inquiry, outcome));
  EXPECT_EQ(data[0] & 0x1F, 5);
}

TEST(VendorProtocolTest, DataPhaseMayArriveInParts) {
  SimulatedDrive drive{DriveConfig{}};
  std::vector<uint8_t> whole(16896);
  ASSERT_EQ(ExchangeIn(drive, CommandBlock(0xF0, 0x42), whole.data(), 16896), 0);
  // The same reply read as 20 + 13 sectors.
  Sector scratch{};
  ScsiRead(drive, 0, 1, scratch.data());
  char signature[9];
  ASSERT_EQ(testing::Unlock(drive, signature), 0);
  const Sector command = CommandBlock(0xF0, 0x42);
  ASSERT_TRUE(ScsiWrite(drive, 0x55AA, 1, command.data()));
  std::vector<uint8_t> parts(16896);
  ASSERT_TRUE(ScsiRead(drive, 0x55AA, 20, parts.data()));
  ASSERT_TRUE(ScsiRead(drive, 0x55AA + 20, 13, parts.data() + 20 * 512));
  EXPECT_EQ(parts, whole);
}

}  // namespace
}  // namespace dozered::sim
