#include "device/sat_ata_pass_through.h"

#include <gtest/gtest.h>

#include <vector>

namespace dozered {
namespace {

using Bytes = std::vector<uint8_t>;

struct SatCase {
  const char* name;
  uint16_t flags;
  uint32_t length;
  AtaTaskFile taskFile;
  Bytes cdb;
  bool dataIn;
};

// The count field carries the number of 512-byte blocks moved (T_LENGTH = 2,
// BYT_BLOK = 1): a bridge that checks the declared length against the
// transfer sees them agree.
TEST(SatAtaPassThroughTest, TaskFilesBecomeAtaPassThrough16Cdbs) {
  const SatCase cases[] = {
      {"IDENTIFY DEVICE declares its one block", 0x03, 512, {0, 0, 0, 0, 0, 0xE0, 0xEC, 0},
       {0x85, 0x08, 0x0E, 0, 0, 0, 0x01, 0, 0, 0, 0, 0, 0, 0xE0, 0xEC, 0}, true},
      {"READ DMA", 0x13, 1024, {0, 2, 0xF1, 0xDE, 0xBC, 0xEA, 0xC8, 0},
       {0x85, 0x0C, 0x0E, 0, 0, 0, 0x02, 0, 0xF1, 0, 0xDE, 0, 0xBC, 0xEA, 0xC8, 0}, true},
      {"READ DMA of 128 sectors", 0x13, 128 * 512, {0, 0x80, 0, 0, 0, 0xE0, 0xC8, 0},
       {0x85, 0x0C, 0x0E, 0, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0xE0, 0xC8, 0}, true},
      {"READ DMA of 255 sectors", 0x13, 255 * 512, {0, 0xFF, 0, 0, 0, 0xE0, 0xC8, 0},
       {0x85, 0x0C, 0x0E, 0, 0, 0, 0xFF, 0, 0, 0, 0, 0, 0, 0xE0, 0xC8, 0}, true},
      {"WRITE DMA", 0x15, 512, {0, 1, 0xAA, 0x55, 0, 0xE0, 0xCA, 0},
       {0x85, 0x0C, 0x06, 0, 0, 0, 0x01, 0, 0xAA, 0, 0x55, 0, 0, 0xE0, 0xCA, 0}, false},
      {"PIO data out", 0x05, 512, {0x11, 1, 0, 0, 0, 0xA0, 0x30, 0},
       {0x85, 0x0A, 0x06, 0, 0x11, 0, 0x01, 0, 0, 0, 0, 0, 0, 0xA0, 0x30, 0}, false},
      {"no data", 0x01, 0, {0, 0, 0, 0, 0, 0xE0, 0xE7, 0},
       {0x85, 0x06, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xE0, 0xE7, 0}, false},
  };
  for (const SatCase& c : cases) {
    SCOPED_TRACE(c.name);
    AtaPassThroughRequest request;
    request.ataFlags = c.flags;
    request.dataTransferLength = c.length;
    request.currentTaskFile = c.taskFile;
    uint8_t cdb[16];
    bool dataIn = !c.dataIn;
    ASSERT_TRUE(BuildSatAtaPassThrough16(request, cdb, dataIn));
    EXPECT_EQ(Bytes(cdb, cdb + 16), c.cdb);
    EXPECT_EQ(dataIn, c.dataIn);
  }
}

// Requests whose transfer the CDB cannot state truthfully are not sent: a
// 256-sector DMA would go out as count 0, which the drive takes for 256
// sectors and a bridge for no data at all.
TEST(SatAtaPassThroughTest, TransfersTheCountFieldCannotStateAreRefused) {
  const struct {
    const char* name;
    uint16_t flags;
    uint32_t length;
    uint8_t count;
  } cases[] = {
      {"READ DMA of 256 sectors", 0x13, 256 * 512, 0},
      {"WRITE DMA of 256 sectors", 0x15, 256 * 512, 0},
      {"DMA count differs from the transfer", 0x13, 2 * 512, 3},
      {"DMA count 0 with one sector", 0x13, 512, 0},
      {"part of a sector", 0x03, 100, 0},
      {"both directions", 0x07, 512, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AtaPassThroughRequest request;
    request.ataFlags = c.flags;
    request.dataTransferLength = c.length;
    request.currentTaskFile.sectorCount = c.count;
    request.currentTaskFile.command = 0xC8;
    uint8_t cdb[16];
    bool dataIn = false;
    EXPECT_FALSE(BuildSatAtaPassThrough16(request, cdb, dataIn));
  }
}

// Descriptor-format sense with an ATA Status Return descriptor: 8 header
// bytes, then 09 0C and twelve register bytes.
Bytes DescriptorSense(uint8_t key, uint8_t asc, uint8_t ascq, uint8_t error, uint8_t status) {
  return {0x72, key, asc, ascq, 0, 0, 0, 14,
          0x09, 0x0C, 0x00, error, 0x00, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x00, 0x00, 0xE0, status};
}

// Fixed-format sense as libata builds it for ATA PASS-THROUGH: ERROR,
// STATUS, DEVICE, COUNT in bytes 3-6.
Bytes FixedSense(uint8_t key, uint8_t asc, uint8_t ascq, uint8_t error, uint8_t status) {
  return {0x70, 0, key, error, status, 0xE0, 0x01, 10, 0, 0xAA, 0x55, 0x00, asc, ascq, 0, 0, 0, 0};
}

// The reply decides whether the ATA command was carried out: the status
// register a SATL returns is checked for ERR, DF, DRQ and BSY as the Windows
// ATA pass-through's returned registers are.
TEST(SatAtaPassThroughTest, RepliesAreJudgedByTheReturnedAtaStatus) {
  const struct {
    const char* name;
    uint8_t scsiStatus;
    Bytes sense;
    bool completed;
    uint8_t returnedStatus;
  } cases[] = {
      {"GOOD", 0x00, {}, true, 0x50},
      {"descriptor, information available, status clean", 0x02, DescriptorSense(0x01, 0x00, 0x1D, 0x00, 0x50),
       true, 0x50},
      {"descriptor under NO SENSE", 0x02, DescriptorSense(0x00, 0x00, 0x1D, 0x00, 0x40), true, 0x40},
      {"descriptor, ERR", 0x02, DescriptorSense(0x01, 0x00, 0x1D, 0x04, 0x51), false, 0x51},
      {"descriptor, DRQ: data left", 0x02, DescriptorSense(0x01, 0x00, 0x1D, 0x00, 0x58), false, 0x58},
      {"descriptor, DF", 0x02, DescriptorSense(0x01, 0x00, 0x1D, 0x00, 0x70), false, 0x70},
      {"descriptor, BSY", 0x02, DescriptorSense(0x01, 0x00, 0x1D, 0x00, 0xD0), false, 0xD0},
      {"descriptor, ABORTED COMMAND", 0x02, DescriptorSense(0x0B, 0x00, 0x00, 0x04, 0x51), false, 0x51},
      {"descriptor, MEDIUM ERROR with a clean status", 0x02, DescriptorSense(0x03, 0x11, 0x04, 0x00, 0x50),
       false, 0x50},
      {"fixed, information available, status clean", 0x02, FixedSense(0x01, 0x00, 0x1D, 0x00, 0x50), true,
       0x50},
      {"fixed, ERR", 0x02, FixedSense(0x01, 0x00, 0x1D, 0x04, 0x51), false, 0x51},
      {"fixed, ILLEGAL REQUEST", 0x02, FixedSense(0x05, 0x24, 0x00, 0x00, 0x00), false, 0},
      {"information available but no registers", 0x02, {0x72, 0x01, 0x00, 0x1D, 0, 0, 0, 0}, false, 0},
      {"no sense at all", 0x02, {}, false, 0},
      {"BUSY status", 0x08, {}, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AtaTaskFile returned;
    EXPECT_EQ(SatReplyCompleted(c.scsiStatus, c.sense.data(), c.sense.size(), returned), c.completed);
    EXPECT_EQ(returned.command, c.returnedStatus);
  }
}

TEST(SatAtaPassThroughTest, SenseIsReadWithinItsLength) {
  // The ATA descriptor after another one.
  Bytes sense = {0x72, 0x01, 0x00, 0x1D, 0, 0, 0, 26,
                 0x00, 0x0A, 0x80, 0, 0, 0, 0, 0, 0, 0, 0x12, 0x34,
                 0x09, 0x0C, 0x00, 0x04, 0x00, 0x07, 0x00, 0x11, 0x00, 0x22, 0x00, 0x33, 0xE1, 0x51};
  SatSense parsed = ParseSatSense(sense.data(), sense.size());
  ASSERT_TRUE(parsed.ataRegisters);
  const AtaTaskFile& r = parsed.registers;
  EXPECT_EQ((Bytes{r.features, r.sectorCount, r.lbaLow, r.lbaMid, r.lbaHigh, r.device, r.command}),
            (Bytes{0x04, 0x07, 0x11, 0x22, 0x33, 0xE1, 0x51}));

  // Cut short: the additional length promises more than was returned.
  for (size_t cut : {size_t{8}, size_t{21}, size_t{33}}) {
    SCOPED_TRACE(cut);
    parsed = ParseSatSense(sense.data(), cut);
    EXPECT_TRUE(parsed.valid);
    EXPECT_FALSE(parsed.ataRegisters);
  }
  // A descriptor that claims to run past the end.
  Bytes overlong = {0x72, 0x01, 0x00, 0x1D, 0, 0, 0, 4, 0x09, 0x40, 0, 0};
  EXPECT_FALSE(ParseSatSense(overlong.data(), overlong.size()).ataRegisters);
  Bytes fixedShort = {0x70, 0, 0x01, 0, 0x50, 0, 0, 10, 0, 0, 0, 0, 0x00};
  EXPECT_FALSE(ParseSatSense(fixedShort.data(), fixedShort.size()).valid);
  EXPECT_FALSE(ParseSatSense(nullptr, 0).valid);
}

}  // namespace
}  // namespace dozered
