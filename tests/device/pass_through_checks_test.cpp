// The rules a pass-through reply must pass before its request counts as
// done, on request and reply bytes with the operating system's call stood in
// for: ATA status, complete transfers, the aligned copy of the data.
#include "device/pass_through_checks.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "device/scsi_cdb.h"

namespace dozered {
namespace {

TEST(PassThroughChecksTest, AtaStatusWithErrorFaultOrDataLeftIsAFailure) {
  struct Case {
    uint8_t status;
    bool failure;
  } cases[] = {
      {0x50, false},  // DRDY, DSC: done
      {0x40, false},  // DRDY
      {0x00, false},  // nothing returned
      {0x51, true},   // ERR: aborted
      {0x58, true},   // DRQ: data still waiting
      {0x70, true},   // DF: device fault
      {0xD0, true},   // BSY: still busy
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AtaStatusReportsFailure(c.status), c.failure) << std::hex << int(c.status);
    AtaPassThroughRequest request;
    request.currentTaskFile.command = 0xC8;
    const bool done = RunAtaPassThrough(request, [&](AtaPassThroughRequest& r) {
      r.currentTaskFile.command = c.status;  // the status register comes back here
      return true;
    });
    EXPECT_EQ(done, !c.failure) << std::hex << int(c.status);
  }
  AtaPassThroughRequest request;
  EXPECT_FALSE(RunAtaPassThrough(request, [](AtaPassThroughRequest&) { return false; }));
}

ScsiPassThroughRequest Read10(uint8_t* data, uint32_t sectors) {
  ScsiPassThroughRequest request;
  request.cdbLength = 10;
  scsi::BuildReadWrite10(request.cdb, scsi::kOpRead10, 0x04, 0x55AA, sectors);
  request.dataIn = kScsiIoctlDataIn;
  request.dataTransferLength = sectors * 512;
  request.dataBuffer = data;
  return request;
}

TEST(PassThroughChecksTest, AShortTransferFailsUnlessTheLengthIsAnAllocationLength) {
  struct Case {
    const char* name;
    uint8_t opcode;
    bool dataIn;
    uint32_t transferred;  // of 1,024 bytes
    bool failed;
  } cases[] = {
      {"whole READ(10)", 0x28, true, 1024, false},
      {"short READ(10)", 0x28, true, 512, true},
      {"nothing read", 0x28, true, 0, true},
      {"short WRITE(10)", 0x2A, false, 512, true},
      {"short ATA PASS-THROUGH(16)", 0x85, true, 512, true},
      {"short READ CAPACITY(10)", 0x25, true, 4, true},
      {"short INQUIRY", 0x12, true, 36, false},
      {"short MODE SENSE(10)", 0x5A, true, 8, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> data(1024, 0);
    ScsiPassThroughRequest request = Read10(data.data(), 2);
    request.cdb[0] = c.opcode;
    request.dataIn = c.dataIn ? kScsiIoctlDataIn : kScsiIoctlDataOut;
    const ScsiPassThroughOutcome outcome =
        RunScsiPassThrough(request, 4096, [&](const ScsiPassThroughRequest&, uint32_t& transferred) {
          transferred = c.transferred;
          return ScsiPassThroughOutcome{};
        });
    EXPECT_EQ(outcome.osError != kOsErrorNone, c.failed);
  }
}

TEST(PassThroughChecksTest, ResidualLeavesFailuresAsTheyAre) {
  std::vector<uint8_t> data(512);
  const ScsiPassThroughRequest request = Read10(data.data(), 1);
  ScsiPassThroughOutcome checkCondition;
  checkCondition.scsiStatus = 0x02;
  ApplyScsiResidual(request, 512, checkCondition);
  EXPECT_EQ(checkCondition.osError, kOsErrorNone);
  EXPECT_EQ(checkCondition.scsiStatus, 0x02);
  ScsiPassThroughOutcome good;
  ApplyScsiResidual(request, 0, good);
  EXPECT_EQ(good.osError, kOsErrorNone);
}

// The call sees an aligned buffer with the caller's bytes for data out; the
// reply reaches the caller's buffer only after a good data-in transfer, and
// only the bytes transferred.
TEST(PassThroughChecksTest, DataGoesThroughAnAlignedCopy) {
  struct Case {
    const char* name;
    bool dataIn;
    uint8_t status;
    uint32_t transferred;
    std::vector<uint8_t> callerAfter;  // first bytes of the caller's buffer afterwards
  } cases[] = {
      {"good read", true, 0x00, 8, {0xA0, 0xA1, 0xA2, 0xA3}},
      {"read with CHECK CONDITION", true, 0x02, 8, {0x11, 0x11, 0x11, 0x11}},
      {"write", false, 0x00, 8, {0x11, 0x11, 0x11, 0x11}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // The caller's buffer starts one byte past an aligned address.
    std::vector<uint8_t> storage(8 + 64, 0x11);
    uint8_t* caller = storage.data() + 1;
    while ((reinterpret_cast<uintptr_t>(caller) & 63) != 1) ++caller;
    ScsiPassThroughRequest request;
    request.cdbLength = 6;
    request.cdb[0] = 0x12;  // INQUIRY: may be short
    request.dataIn = c.dataIn ? kScsiIoctlDataIn : kScsiIoctlDataOut;
    request.dataTransferLength = 8;
    request.dataBuffer = caller;
    bool called = false;
    RunScsiPassThrough(request, 64, [&](const ScsiPassThroughRequest& sent, uint32_t& transferred) {
      called = true;
      EXPECT_NE(sent.dataBuffer, caller);
      EXPECT_EQ(reinterpret_cast<uintptr_t>(sent.dataBuffer) & 63, 0u);
      if (!c.dataIn) {
        EXPECT_EQ(std::vector<uint8_t>(sent.dataBuffer, sent.dataBuffer + 8), std::vector<uint8_t>(8, 0x11));
      }
      for (uint8_t i = 0; i < 8; ++i) sent.dataBuffer[i] = static_cast<uint8_t>(0xA0 + i);
      transferred = c.transferred;
      ScsiPassThroughOutcome outcome;
      outcome.scsiStatus = c.status;
      return outcome;
    });
    EXPECT_TRUE(called);
    EXPECT_EQ(std::vector<uint8_t>(caller, caller + 4), c.callerAfter);
  }
}

TEST(PassThroughChecksTest, OnlyTheBytesTransferredAreCopiedBack) {
  std::vector<uint8_t> caller(56, 0x11);
  ScsiPassThroughRequest request;
  request.cdbLength = 6;
  request.cdb[0] = 0x12;
  request.dataIn = kScsiIoctlDataIn;
  request.dataTransferLength = 56;
  request.dataBuffer = caller.data();
  const ScsiPassThroughOutcome outcome =
      RunScsiPassThrough(request, 16, [](const ScsiPassThroughRequest& sent, uint32_t& transferred) {
        std::memset(sent.dataBuffer, 0x22, 56);
        transferred = 36;
        return ScsiPassThroughOutcome{};
      });
  EXPECT_EQ(outcome.osError, kOsErrorNone);
  EXPECT_EQ(caller[35], 0x22);
  EXPECT_EQ(caller[36], 0x11);
}

}  // namespace
}  // namespace dozered
