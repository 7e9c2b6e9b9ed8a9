// The probe: which drives AttachDevice accepts, what it records about them,
// and the fallback command address of ExchangeDiscover.
#include <gtest/gtest.h>

#include <vector>

#include "protocol/result_codes.h"
#include "support/protocol_rig.h"

namespace dozered {
namespace {

using testing::MakeSignedPlainDisk;
using testing::ProtocolRig;

TEST(AttachDeviceTest, AcceptsAControllerDriveAndRecordsItsIdentity) {
  VirtualDiskOptions where;
  where.port = 200;  // shown as a signed byte
  where.target = 3;
  where.lun = 1;
  ProtocolRig rig(MakeSignedPlainDisk(), where);
  VE4810VO ctl;
  EXPECT_TRUE(ctl.AttachDevice(rig.Record()));
  EXPECT_TRUE(ctl.IsDetected());
  EXPECT_EQ(ctl.Device, &rig.Record());
  EXPECT_EQ(ctl.DeviceName, rig.Record().Name());
  EXPECT_EQ(ctl.Port, -56);
  EXPECT_EQ(ctl.Target, 3);
  EXPECT_EQ(ctl.Lun, 1);
  EXPECT_EQ(ctl.DeviceType, 0);
  EXPECT_EQ(ctl.Capacity, 65536u);
  EXPECT_EQ(ctl.BlockSize, 512u);
  EXPECT_STREQ(ctl.Vendor, "DOZERED ");
  EXPECT_EQ(ctl.LastSignatureText(), "VE4810VO");
  EXPECT_EQ(ctl.CommandAddress, 0x55AAu);
  EXPECT_FALSE(rig.Record().IsOpen());
  EXPECT_EQ(rig.Opens(), 1);  // one open around the whole probe
}

TEST(AttachDeviceTest, KeepsTheCallersRecordOpen) {
  ProtocolRig rig(MakeSignedPlainDisk());
  ASSERT_TRUE(rig.Record().Open(true));
  rig.ClearCounts();
  VE4810VO ctl;
  EXPECT_TRUE(ctl.AttachDevice(rig.Record()));
  EXPECT_TRUE(rig.Record().IsOpen());
  EXPECT_EQ(rig.Opens(), 0);
  // Probe: LBA 0, then two ReadFlashId exchanges of 4 sectors each.
  int dataReads = 0;
  for (const auto& a : rig.Recorder().Accesses()) dataReads += !a.write && a.count == 4;
  EXPECT_EQ(dataReads, 2);
}

TEST(AttachDeviceTest, AcceptsTheVariantSignatureOnlyWhenAskedTo) {
  ProtocolRig rig(MakeSignedPlainDisk("VE4810VI"));
  VE4810VO ctl;
  EXPECT_FALSE(ctl.AttachDevice(rig.Record()));
  EXPECT_EQ(ctl.LastSignatureText(), "VE4810VI");
  ctl.SetVariantSignature(true);
  EXPECT_TRUE(ctl.AttachDevice(rig.Record()));
  ctl.SetVariantSignature(false);
  EXPECT_FALSE(ctl.AttachDevice(rig.Record()));
}

struct RefusedCase {
  const char* name;
  PlainDiskOptions disk;
  const char* signature;
};

TEST(AttachDeviceTest, RefusesDrivesThatAreNotControllerDisks) {
  PlainDiskOptions optical;
  optical.deviceType = 5;
  PlainDiskOptions empty;
  empty.sectorCount = 0x55AB;  // still holds the reserved sectors
  const std::vector<RefusedCase> cases = {
      {"optical device, vendor command works", optical, "VE4810VO"},
      {"other signature", PlainDiskOptions{}, "ZA4808ZA"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    VirtualDiskOptions where;
    where.port = 2;
    where.target = 1;
    ProtocolRig rig(MakeSignedPlainDisk(c.signature, c.disk), where);
    VE4810VO ctl;
    EXPECT_FALSE(ctl.AttachDevice(rig.Record()));
    EXPECT_FALSE(ctl.IsDetected());
    EXPECT_EQ(ctl.Port, 0);
    EXPECT_EQ(ctl.Target, 0);
    EXPECT_EQ(ctl.Lun, 0);
    EXPECT_EQ(ctl.Capacity, 0u);
    EXPECT_EQ(ctl.BlockSize, 0u);
    EXPECT_FALSE(rig.Record().IsOpen());
  }
}

TEST(AttachDeviceTest, ADriveThatCannotBeOpenedIsNotDetected) {
  VirtualDiskOptions where;
  ProtocolRig rig(MakeSignedPlainDisk(), where);
  rig.Platform().Disk(0).options.openFails = true;
  VE4810VO ctl;
  EXPECT_FALSE(ctl.AttachDevice(rig.Record()));
  EXPECT_EQ(rig.Recorder().AccessCount(), 0);
}

// A drive that takes commands at 0x0789 is found there (simulated drive
// tests); a drive that stores the block at 0x0789 as data does not take
// commands there, so the fallback is not taken and its "reply" is no reply.
TEST(ExchangeDiscoverTest, StaysAt0x55AAUnlessTheFallbackTakesTheCommand) {
  struct Case {
    const char* name;
    std::vector<uint32_t> unwritable;
    bool dataReadFails;
    int32_t code;
  };
  const std::vector<Case> cases = {
      {"first try works", {}, false, kResultSuccess},
      {"both command writes fail", {0x55AA, 0x0789}, false, kResultCommandWriteFailed},
      {"both data phases fail", {}, true, kResultDataPhaseFailed},
      {"the fallback address stores the block as data", {0x55AA}, false, kResultDataPhaseFailed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ProtocolRig rig(MakeSignedPlainDisk());
    rig.PokeSectors(0x0789, testing::PatternSector(0x0789));
    for (uint32_t lba : c.unwritable) rig.Recorder().FailLba(lba, true);
    if (c.dataReadFails) {
      rig.Recorder().FailAccess(7);   // first try's data read
      rig.Recorder().FailAccess(17);  // second try's: after the check and restore of the first
    }
    VE4810VO& ctl = rig.Controller();
    ctl.CommandAddress = 0x0789;  // left from an earlier probe
    std::vector<uint8_t> data(512);
    EXPECT_EQ(ctl.ExchangeDiscover(CommandBlock{}, data, 512, true), c.code);
    EXPECT_EQ(ctl.CommandAddress, 0x55AAu);
    EXPECT_EQ(rig.PeekSectors(0x0789, 1), testing::PatternSector(0x0789));
  }
}

}  // namespace
}  // namespace dozered
