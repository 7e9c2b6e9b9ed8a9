// The protocol against the simulated VE4810VO drive and its variants: a drive
// that takes commands, one that takes them only at 0x0789, one that stores
// them as data, one that signs "VE4810VI", and an optical one.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "protocol/card_info.h"
#include "protocol/result_codes.h"
#include "sim/simulated_drive.h"
#include "support/protocol_rig.h"

namespace dozered {
namespace {

using testing::ProtocolRig;

std::shared_ptr<VirtualDrive> Simulated(sim::DriveConfig config = {}) {
  return std::make_shared<sim::SimulatedDrive>(config);
}

sim::DriveConfig With(sim::CommandIntercept intercept) {
  sim::DriveConfig config;
  config.intercept = intercept;
  return config;
}

struct Access {
  uint32_t lba;
  uint32_t count;
  bool write;
  bool operator==(const Access&) const = default;
};

std::vector<Access> Seen(const ProtocolRig& rig, size_t from = 0) {
  std::vector<Access> out;
  const auto& log = const_cast<ProtocolRig&>(rig).Recorder().Accesses();
  for (size_t i = from; i < log.size(); ++i) out.push_back({log[i].lba, log[i].count, log[i].write});
  return out;
}

void PrintTo(const Access& a, std::ostream* os) {
  *os << (a.write ? "W " : "R ") << std::hex << "0x" << a.lba << " x" << std::dec << a.count;
}

TEST(SimulatedDriveProtocolTest, AProbedDriveAnswersWithItsCardInformation) {
  sim::DriveConfig config;
  config.cardMode = 1;
  ProtocolRig rig(Simulated(config));
  VE4810VO ctl;
  ASSERT_TRUE(ctl.AttachDevice(rig.Record()));
  EXPECT_EQ(ctl.CommandAddress, 0x55AAu);

  rig.ClearCounts();
  std::vector<uint8_t> record(2048);
  ASSERT_EQ(ctl.ReadFlashId(4, record), kResultSuccess);
  EXPECT_EQ(CardInfo(record).CardMode(), kCardModeMpisp);
  EXPECT_EQ(CardInfo(record).PagesPerBlock(), 256);
  // The closed record: LBA 0 in its own open, then the exchange, with no
  // restore since the drive took the command.
  const std::vector<Access> expected = {
      {0, 1, false},      {0x55AA, 1, false}, {0xAA, 1, false},   {0xAA00, 1, false},
      {0x55, 1, false},   {0x5500, 1, false}, {0x55AA, 1, false}, {0x55AA, 1, true},
      {0x55AA, 4, false}, {0x55AA, 1, false}};
  EXPECT_EQ(Seen(rig), expected);
  EXPECT_EQ(rig.Opens(), 2);
  EXPECT_FALSE(rig.Record().IsOpen());
}

TEST(SimulatedDriveProtocolTest, ACommandWhoseReplyFillsItsOwnBlockWritesOnlyTheBlock) {
  ProtocolRig rig(Simulated());
  EXPECT_EQ(rig.Controller().SetFlashClock(0x0010), kResultSuccess);
  EXPECT_EQ(rig.Controller().EnterRomCodeMode(1), kResultSuccess);
  int writes = 0;
  for (const auto& a : rig.Recorder().Accesses()) writes += a.write;
  EXPECT_EQ(writes, 2);
}

TEST(SimulatedDriveProtocolTest, TheVariantSignatureIsAcceptedOnlyAfterSetVariantSignature) {
  sim::DriveConfig config;
  config.signature = "VE4810VI";
  ProtocolRig rig(Simulated(config));
  VE4810VO ctl;
  EXPECT_FALSE(ctl.AttachDevice(rig.Record()));
  ctl.SetVariantSignature(true);
  EXPECT_TRUE(ctl.AttachDevice(rig.Record()));
  EXPECT_EQ(ctl.LastSignatureText(), "VE4810VI");
}

TEST(SimulatedDriveProtocolTest, AnOpticalDeviceIsRefusedThoughItsCommandSucceeds) {
  sim::DriveConfig config;
  config.kind = sim::DriveKind::kOptical;
  ProtocolRig rig(Simulated(config));
  VE4810VO ctl;
  EXPECT_FALSE(ctl.AttachDevice(rig.Record()));
  EXPECT_EQ(ctl.DeviceType, 5);
  ctl.Device = &rig.Record();
  std::vector<uint8_t> record(2048);
  EXPECT_EQ(ctl.ReadFlashId(4, record), kResultSuccess);
}

TEST(SimulatedDriveProtocolTest, APlainDiskIsRefusedWithoutAWrite) {
  sim::DriveConfig config;
  config.kind = sim::DriveKind::kPlainDisk;
  ProtocolRig rig(Simulated(config));
  VE4810VO ctl;
  EXPECT_FALSE(ctl.AttachDevice(rig.Record()));
  for (const auto& a : rig.Recorder().Accesses()) EXPECT_FALSE(a.write);
}

TEST(SimulatedDriveProtocolTest, ADriveThatTakesCommandsOnlyAt0x0789IsFoundThere) {
  ProtocolRig rig(Simulated(With(sim::CommandIntercept::kAtFallbackAddress)));
  VE4810VO ctl;
  ASSERT_TRUE(ctl.AttachDevice(rig.Record()));
  EXPECT_EQ(ctl.CommandAddress, 0x0789u);

  rig.ClearCounts();
  std::vector<uint8_t> smart(512);
  ASSERT_EQ(ctl.ReadSmart(0xD0, smart), kResultSuccess);
  const std::vector<Access> expected = {
      {0, 1, false},      {0x0789, 1, false}, {0xAA, 1, false},   {0xAA00, 1, false},
      {0x55, 1, false},   {0x5500, 1, false}, {0x55AA, 1, false}, {0x0789, 1, true},
      {0x55AA, 1, false}, {0x0789, 1, false}};
  EXPECT_EQ(Seen(rig), expected);
}

TEST(SimulatedDriveProtocolTest, ADriveThatDoesNotInterceptGetsItsSectorBack) {
  ProtocolRig rig(Simulated(With(sim::CommandIntercept::kNone)));
  rig.PokeSectors(0x55AA, testing::PatternSector(0x55AA));
  const auto before = rig.PeekSectors(0x55AA, 4);
  VE4810VO& ctl = rig.Controller();
  std::vector<uint8_t> smart(512);
  // The command result is what the data phase gave: the stored block.
  EXPECT_EQ(ctl.ReadSmart(0xD0, smart), kResultSuccess);
  EXPECT_EQ(smart[0], 0xF0);
  EXPECT_EQ(smart[1], 0x3E);
  EXPECT_TRUE(rig.Recorder().Accesses().back().write);  // the restore
  EXPECT_EQ(rig.PeekSectors(0x55AA, 4), before);

  std::vector<uint8_t> code(3 * 512, 0x77);
  EXPECT_EQ(ctl.DownloadCode(0x10000, 3, code), kResultSuccess);
  EXPECT_EQ(rig.PeekSectors(0x55AA, 4), before);
}

// The result code of a fault at each step, on a drive that takes commands.
TEST(SimulatedDriveProtocolTest, EachStepsFaultGivesItsCode) {
  const std::vector<std::pair<int, int32_t>> cases = {
      {0, kResultSaveReadFailed},       {1, kResultUnlockReadAAFailed},
      {2, kResultUnlockReadAA00Failed}, {3, kResultUnlockRead55Failed},
      {4, kResultUnlockRead5500Failed}, {5, kResultUnlockRead55AAFailed},
      {6, kResultCommandWriteFailed},   {7, kResultDataPhaseFailed},
      {8, kResultSuccess},
  };
  for (const auto& [at, code] : cases) {
    SCOPED_TRACE(at);
    ProtocolRig rig(Simulated());
    rig.Recorder().FailAccess(at);
    std::vector<uint8_t> data(2048);
    CommandBlock c;
    c[0] = kDirectionIn;
    c[1] = kOpReadFlashId;
    EXPECT_EQ(rig.Controller().ExchangeIn(c, data, 2048, true), code);
    // The drive is back in ordinary mode afterwards: the next command works.
    rig.Recorder().ClearFaults();
    EXPECT_EQ(rig.Controller().ExchangeIn(c, data, 2048, true), kResultSuccess);
  }
}

// A flash write whose data phase and check read both fail leaves the drive
// waiting for the page data. Writing the saved sector back at that moment
// would program it into the page; the drive leaves the vendor mode first
// and the sector, which the drive never stored, is left alone.
TEST(SimulatedDriveProtocolTest, AFlashWriteWhoseDataAndCheckFailNeverProgramsTheUsersSector) {
  ProtocolRig rig(Simulated());
  const std::vector<uint8_t> user = testing::PatternSector(0x55AA);
  rig.PokeSectors(0x55AA, user);
  FlashAddress address;
  address.block = 0x40;
  address.page = 7;
  address.option = 0x21;
  std::vector<uint8_t> reply(512);
  ASSERT_EQ(rig.Controller().EraseFlash(address, 1, reply), kResultSuccess);
  rig.ClearCounts();
  // 0 LBA 0, 1 save, 2-6 unlock, 7 command, 8 data, 9 check
  rig.Recorder().FailAccess(8);
  rig.Recorder().FailAccess(9);
  const std::vector<uint8_t> page(512, 0xC3);
  EXPECT_EQ(rig.Controller().WriteFlash(address, 1, page), kResultDataPhaseFailed);
  EXPECT_EQ(Seen(rig, 10), (std::vector<Access>{{0x1234, 1, false}, {0x55AA, 1, false}}));

  rig.Recorder().ClearFaults();
  std::vector<uint8_t> read(2 * 512);  // the page's first 512 bytes and its spare area
  ASSERT_EQ(rig.Controller().ReadFlash(address, 2, read), kResultSuccess);
  EXPECT_NE(std::vector<uint8_t>(read.begin(), read.begin() + 512), user)
      << "the user's sector was programmed into the page";
  EXPECT_EQ(rig.PeekSectors(0x55AA, 1), user);
}

}  // namespace
}  // namespace dozered
