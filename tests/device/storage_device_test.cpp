#include "device/storage_device.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "device/nvme_miniport_request.h"
#include "device/plain_disk_drive.h"
#include "device/virtual_platform.h"

namespace dozered {
namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

// A drive that answers only NVMe admin commands.
class NvmeOnlyDrive : public VirtualDrive {
 public:
  bool ExecuteScsi(ScsiCommand&, ScsiOutcome&) override { return false; }
  bool ExecuteAta(AtaCommand&) override { return false; }
  bool ExecuteNvmeAdmin(NvmeAdminCommand& command) override {
    if (command.length > 0) command.data[0] = 0x86;
    command.completion[0] = 0x5A;
    return true;
  }
};

VirtualDisk PlainDisk(bool ata, uint32_t sectors = 65536) {
  PlainDiskOptions options;
  options.answersAta = ata;
  options.sectorCount = sectors;
  VirtualDisk virtualDisk;
  virtualDisk.label = ata ? "ata disk" : "scsi disk";
  virtualDisk.drive = std::make_shared<PlainDiskDrive>(options);
  return virtualDisk;
}

VirtualDisk AddressedDisk(bool ata, int port, int target, int lun) {
  VirtualDisk virtualDisk = PlainDisk(ata);
  virtualDisk.options.port = port;
  virtualDisk.options.target = target;
  virtualDisk.options.lun = lun;
  return virtualDisk;
}

const VirtualPlatformCall* LastCall(const VirtualPlatform& platform, const std::string& operation) {
  const auto& calls = platform.Calls();
  for (auto it = calls.rbegin(); it != calls.rend(); ++it) {
    if (it->operation == operation) return &*it;
  }
  return nullptr;
}

Bytes Cdb(const ScsiPassThroughRequest& request) { return Bytes(request.cdb, request.cdb + request.cdbLength); }

TEST(StorageDeviceTest, NewRecordIsFreeWithUnknownPort) {
  VirtualPlatform platform;
  StorageDevice record(platform);
  EXPECT_FALSE(record.IsPresent());
  EXPECT_FALSE(record.IsOpen());
  EXPECT_EQ(record.Port(), 255);
  EXPECT_EQ(record.Flags(), 0u);
  EXPECT_EQ(record.DeviceAddress(), 0xFF0000u);
  EXPECT_EQ(record.OsMajorVersion(), 10u);
}

TEST(StorageDeviceTest, OpenByNumberIdentifiesAndLeavesTheRecordClosed) {
  VirtualPlatform platform;
  platform.AddDisk(AddressedDisk(false, 3, 4, 5));
  StorageDevice record(platform);
  ASSERT_TRUE(record.OpenByNumber(0));
  EXPECT_FALSE(record.IsOpen());
  EXPECT_TRUE(record.IsPresent());
  EXPECT_EQ(record.Flags(), StorageDevice::kFlagByNumber);
  EXPECT_STREQ(record.Name(), "PHYSICALDRIVE0");
  EXPECT_STREQ(record.Path(), "\\\\.\\PHYSICALDRIVE0");
  EXPECT_EQ(record.DiskNumber(), 0);
  EXPECT_EQ(record.DeviceAddress(), 0x030405u);
  EXPECT_EQ(platform.OpenHandleCount(), 0);

  EXPECT_FALSE(record.OpenByNumber(0)) << "only a free record is opened";
  record.ResetRecord();
  EXPECT_FALSE(record.IsPresent());
  EXPECT_EQ(record.Port(), 255);
  EXPECT_TRUE(record.OpenByNumber(0));
}

TEST(StorageDeviceTest, OpenByNumberOfMissingOrUnopenableDiskFails) {
  VirtualPlatform platform;
  platform.AddDisk(PlainDisk(false));
  platform.Disk(0).options.openFails = true;
  StorageDevice record(platform);
  EXPECT_FALSE(record.OpenByNumber(0));
  EXPECT_FALSE(record.OpenByNumber(7));
  EXPECT_FALSE(record.IsPresent());
  StorageDevice unbound;
  EXPECT_FALSE(unbound.OpenByNumber(0));
  EXPECT_FALSE(unbound.Open(true));
}

TEST(StorageDeviceTest, OpenByLetterFindsTheVolumesDisk) {
  VirtualPlatform platform;
  platform.AddDisk(PlainDisk(false));
  platform.AddDisk(AddressedDisk(false, 1, 2, 0));
  platform.Disk(1).options.volumeLetters = {'e'};
  StorageDevice record(platform);
  ASSERT_TRUE(record.OpenByLetter('e'));
  EXPECT_EQ(record.Flags(), StorageDevice::kFlagByLetter);
  EXPECT_STREQ(record.Name(), "e:");
  EXPECT_STREQ(record.Path(), "\\\\.\\e:");
  EXPECT_EQ(record.DiskNumber(), 1);
  EXPECT_EQ(record.DeviceAddress(), 0x010200u);

  // A letter whose disk extents cannot be read is not recorded.
  platform.Options().lettersWithoutDisk = {'f'};
  StorageDevice other(platform);
  EXPECT_FALSE(other.OpenByLetter('f'));
  EXPECT_FALSE(other.IsPresent());
  EXPECT_EQ(platform.OpenHandleCount(), 0);
}

// --- SCSI command layouts ---

struct ScsiLayoutCase {
  const char* name;
  std::function<void(StorageDevice&)> action;
  Bytes cdb;
  uint8_t dataIn;
  uint32_t length;
  uint8_t target;
  uint8_t lun;
};

TEST(StorageDeviceTest, ScsiCommandsAreBuiltByteForByte) {
  uint8_t buffer[4 * 512] = {};
  const ScsiLayoutCase cases[] = {
      {"READ(10)", [&](StorageDevice& d) { d.ReadSectors(0x12345678, 3, buffer); },
       {0x28, 0x04, 0x12, 0x34, 0x56, 0x78, 0x00, 0x00, 0x03, 0x00}, 1, 1536, 1, 2},
      {"WRITE(10) carries the lun", [&](StorageDevice& d) { d.WriteSectors(0x55AA, 1, buffer); },
       {0x2A, 0x44, 0x00, 0x00, 0x55, 0xAA, 0x00, 0x00, 0x01, 0x00}, 0, 512, 1, 2},
      {"READ(10) of 0x0102 sectors", [&](StorageDevice& d) {
         std::vector<uint8_t> big(0x102 * 512);
         d.ReadSectors(0xAA, 0x102, big.data());
       },
       {0x28, 0x04, 0x00, 0x00, 0x00, 0xAA, 0x00, 0x01, 0x02, 0x00}, 1, 0x102 * 512, 1, 2},
      {"INQUIRY with its own address", [&](StorageDevice& d) { d.Inquiry(6, 3); },
       {0x12, 0x60, 0x00, 0x00, 0x38, 0x00}, 1, 56, 6, 3},
      {"READ CAPACITY(10)", [&](StorageDevice& d) { d.ReadCapacity(1, 2); },
       {0x25, 0x40, 0, 0, 0, 0, 0, 0, 0, 0}, 1, 8, 1, 2},
  };
  VirtualPlatform platform;
  platform.AddDisk(AddressedDisk(false, 3, 1, 2));
  StorageDevice record(platform);
  ASSERT_TRUE(record.OpenByNumber(0));
  for (const ScsiLayoutCase& c : cases) {
    SCOPED_TRACE(c.name);
    platform.ClearCalls();
    c.action(record);
    const VirtualPlatformCall* call = LastCall(platform, "scsi");
    ASSERT_NE(call, nullptr);
    EXPECT_EQ(Cdb(call->scsi), c.cdb);
    EXPECT_EQ(call->scsi.dataIn, c.dataIn);
    EXPECT_EQ(call->scsi.dataTransferLength, c.length);
    EXPECT_EQ(call->scsi.senseInfoLength, 14);
    EXPECT_EQ(call->scsi.timeOutValue, 60u) << "a hung drive fails its request within a minute";
    EXPECT_EQ(call->scsi.pathId, 0);
    EXPECT_EQ(call->scsi.targetId, c.target);
    EXPECT_EQ(call->scsi.lun, c.lun);
    // A closed record is opened around the one command.
    EXPECT_EQ(platform.CallLines().front(), "open \\\\.\\PHYSICALDRIVE0");
    EXPECT_EQ(platform.CallLines().back(), "close \\\\.\\PHYSICALDRIVE0");
    EXPECT_FALSE(record.IsOpen());
  }
}

TEST(StorageDeviceTest, SectorsRoundTripAndReadBufferIsClearedFirst) {
  VirtualPlatform platform;
  platform.AddDisk(PlainDisk(false));
  StorageDevice record(platform);
  ASSERT_TRUE(record.OpenByNumber(0));
  uint8_t out[1024];
  for (int i = 0; i < 1024; ++i) out[i] = static_cast<uint8_t>(i * 7);
  ASSERT_TRUE(record.WriteSectors(100, 2, out));
  uint8_t in[1024] = {};
  ASSERT_TRUE(record.ReadSectors(100, 2, in));
  EXPECT_EQ(std::memcmp(in, out, sizeof(in)), 0);

  platform.Disk(0).options.passThroughError = 31;
  std::memset(in, 0xEE, sizeof(in));
  EXPECT_FALSE(record.ReadSectors(100, 2, in));
  EXPECT_EQ(in[0], 0);
  EXPECT_EQ(in[1023], 0);
  EXPECT_FALSE(record.ReadSectors(100, 1, nullptr));
}

TEST(StorageDeviceTest, RecordHeldOpenStaysOpenAcrossCommands) {
  VirtualPlatform platform;
  platform.AddDisk(PlainDisk(false));
  StorageDevice record(platform);
  ASSERT_TRUE(record.OpenByNumber(0));
  ASSERT_TRUE(record.Open(false));
  ASSERT_TRUE(record.Open(false)) << "opening an open record keeps its handle";
  EXPECT_EQ(platform.OpenHandleCount(), 1);
  uint8_t sector[512];
  platform.ClearCalls();
  EXPECT_TRUE(record.ReadSectors(0, 1, sector));
  EXPECT_TRUE(record.IsOpen());
  EXPECT_EQ(platform.CallLines(), (Lines{"scsi \\\\.\\PHYSICALDRIVE0"}));
  EXPECT_EQ(platform.PauseCount(), 1) << "one pause after each SCSI request";
  record.Close();
  EXPECT_FALSE(record.IsOpen());
  EXPECT_EQ(platform.OpenHandleCount(), 0);
}

// --- ATA ---

TEST(StorageDeviceTest, AtaDiskIsNeverNvmeProbed) {
  VirtualPlatform platform;
  platform.AddDisk(PlainDisk(true));
  StorageDevice record(platform);
  ASSERT_TRUE(record.OpenByNumber(0));
  EXPECT_EQ(record.Flags(), StorageDevice::kFlagByNumber | StorageDevice::kFlagAta);
  EXPECT_EQ(LastCall(platform, "nvme"), nullptr);
  EXPECT_EQ(platform.CallLines(), (Lines{"open \\\\.\\PHYSICALDRIVE0", "address \\\\.\\PHYSICALDRIVE0",
                                         "ata \\\\.\\PHYSICALDRIVE0", "close \\\\.\\PHYSICALDRIVE0"}));
  const VirtualPlatformCall* identify = LastCall(platform, "ata");
  ASSERT_NE(identify, nullptr);
  EXPECT_EQ(identify->ata.ataFlags, 0x03);
  EXPECT_EQ(identify->ata.dataTransferLength, 512u);
  EXPECT_EQ(identify->ata.timeOutValue, 60u) << "a hung drive fails its request within a minute";
  const AtaTaskFile& tf = identify->ata.currentTaskFile;
  EXPECT_EQ((Bytes{tf.features, tf.sectorCount, tf.lbaLow, tf.lbaMid, tf.lbaHigh, tf.device, tf.command}),
            (Bytes{0, 0, 0, 0, 0, 0xE0, 0xEC}));
  EXPECT_EQ(reinterpret_cast<uintptr_t>(identify->ata.dataBuffer) % 16, 0u);
}

struct AtaLayoutCase {
  const char* name;
  bool write;
  uint32_t lba;
  uint32_t count;
  Bytes taskFile;  // features, count, low, mid, high, device, command
  uint16_t flags;
};

TEST(StorageDeviceTest, AtaSectorCommandsUse28BitTaskFiles) {
  const AtaLayoutCase cases[] = {
      {"READ DMA", false, 0x0ABCDEF1, 2, {0, 2, 0xF1, 0xDE, 0xBC, 0xEA, 0xC8}, 0x13},
      {"WRITE DMA", true, 0x55AA, 1, {0, 1, 0xAA, 0x55, 0x00, 0xE0, 0xCA}, 0x15},
      {"READ DMA of 128 sectors", false, 0x0FFFFF00, 128, {0, 128, 0x00, 0xFF, 0xFF, 0xEF, 0xC8}, 0x13},
  };
  VirtualPlatform platform;
  platform.AddDisk(PlainDisk(true, 0x10000000));
  StorageDevice record(platform);
  ASSERT_TRUE(record.OpenByNumber(0));
  std::vector<uint8_t> buffer(128 * 512);
  for (const AtaLayoutCase& c : cases) {
    SCOPED_TRACE(c.name);
    platform.ClearCalls();
    const bool ok = c.write ? record.WriteSectors(c.lba, c.count, buffer.data())
                            : record.ReadSectors(c.lba, c.count, buffer.data());
    EXPECT_TRUE(ok);
    const VirtualPlatformCall* call = LastCall(platform, "ata");
    ASSERT_NE(call, nullptr);
    const AtaTaskFile& tf = call->ata.currentTaskFile;
    EXPECT_EQ((Bytes{tf.features, tf.sectorCount, tf.lbaLow, tf.lbaMid, tf.lbaHigh, tf.device, tf.command}),
              c.taskFile);
    const AtaTaskFile& prev = call->ata.previousTaskFile;
    EXPECT_EQ((Bytes{prev.features, prev.sectorCount, prev.lbaLow, prev.lbaMid, prev.lbaHigh, prev.device,
                     prev.command, prev.reserved}),
              Bytes(8, 0));
    EXPECT_EQ(call->ata.ataFlags, c.flags);
    EXPECT_EQ(call->ata.dataTransferLength, c.count * 512);
    EXPECT_EQ(call->ata.timeOutValue, 60u) << "a hung drive fails its request within a minute";
    EXPECT_EQ(LastCall(platform, "scsi"), nullptr);
  }
}

TEST(StorageDeviceTest, AtaDataRoundTripsAndOutOfRangeLbasAreRefused) {
  VirtualPlatform platform;
  platform.AddDisk(PlainDisk(true));
  StorageDevice record(platform);
  ASSERT_TRUE(record.OpenByNumber(0));
  uint8_t out[512];
  for (int i = 0; i < 512; ++i) out[i] = static_cast<uint8_t>(255 - i);
  ASSERT_TRUE(record.WriteSectors(0x55AA, 1, out));
  uint8_t in[512] = {};
  ASSERT_TRUE(record.ReadSectors(0x55AA, 1, in));
  EXPECT_EQ(std::memcmp(in, out, 512), 0);

  // READ DMA cannot address these; nothing is sent rather than a wrong sector.
  platform.ClearCalls();
  EXPECT_FALSE(record.ReadSectors(0x10000000, 1, in));
  EXPECT_FALSE(record.ReadSectors(0x0FFFFFFF, 2, in));
  EXPECT_FALSE(record.WriteSectors(0, 257, out));
  EXPECT_TRUE(platform.Calls().empty());
}

// --- NVMe ---

TEST(StorageDeviceTest, NvmeProbeSendsTheMiniportIdentifyRequest) {
  VirtualPlatform platform;
  VirtualDisk virtualDisk;
  virtualDisk.drive = std::make_shared<NvmeOnlyDrive>();
  virtualDisk.options.port = 2;
  platform.AddDisk(virtualDisk);
  StorageDevice record(platform);
  ASSERT_TRUE(record.OpenByNumber(0));
  EXPECT_EQ(record.Flags(), StorageDevice::kFlagByNumber | StorageDevice::kFlagNvme);
  const VirtualPlatformCall* call = LastCall(platform, "nvme");
  ASSERT_NE(call, nullptr);
  EXPECT_EQ(call->path, "\\\\.\\Scsi2:");
  EXPECT_EQ(call->inputLength, 153u);
  EXPECT_EQ(call->outputLength, 4249u);
  const Bytes& b = call->nvmeBlock;
  ASSERT_EQ(b.size(), 4249u);
  struct Field {
    uint32_t offset;
    uint32_t value;
  };
  const Field fields[] = {{0, 28},    {12, 60},  {16, 0xE0002000}, {20, 0},   {24, 4221},
                          {132, 2},   {136, 0},  {140, 4096},      {144, 0},  {148, 4249},
                          {56, 0},    {92, 1}};
  for (const Field& f : fields) EXPECT_EQ(ReadLe32(b.data() + f.offset), f.value) << "offset " << f.offset;
  EXPECT_EQ(std::string(b.begin() + 4, b.begin() + 12), "NvmeMini");
  EXPECT_EQ(b[52], 0x06);
  // Everything else is zero.
  Bytes rest = b;
  for (const Field& f : fields) std::memset(rest.data() + f.offset, 0, 4);
  std::memset(rest.data() + 4, 0, 8);
  rest[52] = 0;
  EXPECT_EQ(rest, Bytes(4249, 0));
  EXPECT_EQ(platform.OpenHandleCount(), 0);
}

TEST(StorageDeviceTest, DiskWithoutScsiAddressKeepsPort255AndProbesThatPort) {
  VirtualPlatform platform;
  VirtualDisk virtualDisk;
  virtualDisk.drive = std::make_shared<NvmeOnlyDrive>();
  virtualDisk.options.hasScsiAddress = false;
  platform.AddDisk(virtualDisk);
  StorageDevice record(platform);
  ASSERT_TRUE(record.OpenByNumber(0));
  EXPECT_EQ(record.Port(), 255);
  EXPECT_EQ(record.Flags(), StorageDevice::kFlagByNumber);
  const Lines lines = platform.CallLines();
  EXPECT_EQ(lines.back(), "open \\\\.\\Scsi255:");
  EXPECT_FALSE(platform.Calls().back().succeeded);
}

TEST(StorageDeviceTest, NvmeRequestDirectionFollowsTheOpcodesLowBits) {
  EXPECT_EQ(NvmeOpcodeDirection(0x06), kNvmeDirectionDeviceToHost);
  EXPECT_EQ(NvmeOpcodeDirection(0x09), kNvmeDirectionHostToDevice);
  EXPECT_EQ(NvmeOpcodeDirection(0x0B), kNvmeDirectionHostToDevice);
  EXPECT_EQ(NvmeOpcodeDirection(0x08), kNvmeDirectionNone);
}

// --- Volumes: lock and dismount ---

struct LockCase {
  const char* name;
  uint32_t osMajor;
  bool lockFails;
  bool dismountFails;
  bool tolerate;
  bool opens;
  Lines openCalls;
  Lines closeCalls;  // when it opened
};

TEST(StorageDeviceTest, VolumeLockAndDismountRules) {
  const char* v = "\\\\.\\c:";
  auto line = [v](const char* op) { return std::string(op) + " " + v; };
  const LockCase cases[] = {
      {"newer OS locks and dismounts", 10, false, false, false, true,
       {line("open"), line("lock"), line("dismount")}, {line("unlock"), line("mounted"), line("close")}},
      {"OS 5 locks without dismount", 5, false, false, false, true,
       {line("open"), line("lock")}, {line("unlock"), line("close")}},
      {"OS 4 as well", 4, false, false, false, true, {line("open"), line("lock")}, {line("unlock"), line("close")}},
      {"OS 5 never dismounts so a dismount fault is harmless", 5, false, true, false, true,
       {line("open"), line("lock")}, {line("unlock"), line("close")}},
      {"lock failure closes again", 10, true, false, false, false, {line("open"), line("lock"), line("close")}, {}},
      {"lock failure tolerated", 10, true, false, true, true,
       {line("open"), line("lock")}, {line("unlock"), line("close")}},
      {"dismount failure unlocks and fails", 10, false, true, false, false,
       {line("open"), line("lock"), line("dismount"), line("unlock"), line("close")}, {}},
      {"dismount failure tolerated", 10, false, true, true, true,
       {line("open"), line("lock"), line("dismount"), line("unlock")}, {line("unlock"), line("close")}},
  };
  for (const LockCase& c : cases) {
    SCOPED_TRACE(c.name);
    VirtualPlatformOptions options;
    options.osMajorVersion = c.osMajor;
    VirtualPlatform platform({}, options);
    platform.AddDisk(PlainDisk(false));
    platform.Disk(0).options.volumeLetters = {'c'};
    platform.Disk(0).options.volumeLockFails = c.lockFails;
    platform.Disk(0).options.dismountFails = c.dismountFails;
    StorageDevice record(platform);
    ASSERT_TRUE(record.OpenByLetter('c'));
    platform.ClearCalls();
    EXPECT_EQ(record.Open(c.tolerate), c.opens);
    EXPECT_EQ(record.IsOpen(), c.opens);
    EXPECT_EQ(platform.CallLines(), c.openCalls);
    platform.ClearCalls();
    record.Close();
    EXPECT_EQ(platform.CallLines(), c.closeCalls);
    EXPECT_EQ(platform.OpenHandleCount(), 0);
  }
}

TEST(StorageDeviceTest, UnlockableVolumeIsReadButNotWritten) {
  VirtualPlatform platform;
  platform.AddDisk(PlainDisk(false));
  platform.Disk(0).options.volumeLetters = {'c'};
  platform.Disk(0).options.volumeLockFails = true;
  StorageDevice record(platform);
  ASSERT_TRUE(record.OpenByLetter('c'));
  uint8_t sector[512] = {};
  EXPECT_TRUE(record.ReadSectors(0, 1, sector));
  EXPECT_TRUE(record.Inquiry(0, 0).deviceType == 0);
  platform.ClearCalls();
  EXPECT_FALSE(record.WriteSectors(0, 1, sector));
  EXPECT_FALSE(record.IsOpen());
  EXPECT_EQ(LastCall(platform, "scsi"), nullptr);
  EXPECT_EQ(platform.OpenHandleCount(), 0);
}

// --- Requests and sense ---

struct SenseCase {
  const char* name;
  uint32_t osError;
  uint8_t status;
  uint8_t senseKey;
};

TEST(StorageDeviceTest, FailedPassThroughCallGivesFixedFormatSense) {
  const SenseCase cases[] = {
      {"invalid parameter", 87, 0xE6, 5},
      {"general failure", 31, 0x04, 4},
      {"device error", 1117, 0x04, 4},
  };
  for (const SenseCase& c : cases) {
    SCOPED_TRACE(c.name);
    VirtualPlatform platform;
    platform.AddDisk(PlainDisk(false));
    platform.Disk(0).options.passThroughError = c.osError;
    StorageDevice record(platform);
    ASSERT_TRUE(record.OpenByNumber(0));
    ScsiRequest request;
    request.commandCode = kScsiRequestExecute;
    request.flags = kScsiRequestDataIn;
    request.cdbLength = 6;
    request.cdb[0] = 0x00;
    std::memset(request.sense, 0xEE, sizeof(request.sense));
    EXPECT_FALSE(record.ExecuteScsiRequest(request, true));
    EXPECT_EQ(request.status, c.status);
    EXPECT_EQ(request.sense[0], 0x70);
    EXPECT_EQ(request.sense[2], c.senseKey);
    for (int i : {1, 3, 7, 12, 13}) EXPECT_EQ(request.sense[i], 0) << i;
    EXPECT_EQ(request.sense[14], 0xEE) << "only the sense length is cleared";
  }
}

TEST(StorageDeviceTest, CheckConditionCopiesTheDrivesSense) {
  PlainDiskOptions options;
  options.failingSectors = {10};
  VirtualPlatform platform;
  VirtualDisk virtualDisk;
  virtualDisk.drive = std::make_shared<PlainDiskDrive>(options);
  platform.AddDisk(virtualDisk);
  StorageDevice record(platform);
  ASSERT_TRUE(record.OpenByNumber(0));
  uint8_t data[1024];
  ScsiRequest request;
  request.flags = kScsiRequestDataIn;
  request.cdbLength = 10;
  const uint8_t cdb[10] = {0x28, 0x04, 0, 0, 0, 9, 0, 0, 2, 0};
  std::memcpy(request.cdb, cdb, sizeof(cdb));
  request.dataBuffer = data;
  request.dataLength = sizeof(data);
  request.hostAdapterStatus = 9;
  EXPECT_FALSE(record.ExecuteScsiRequest(request, true));
  EXPECT_EQ(request.status, kScsiRequestError);
  EXPECT_EQ(request.targetStatus, 0x02);
  EXPECT_EQ(request.hostAdapterStatus, 0);
  EXPECT_EQ(request.sense[0], 0x70);
  EXPECT_EQ(request.sense[2], 0x03);
  EXPECT_EQ(request.sense[12], 0x11);
}

TEST(StorageDeviceTest, RequestCommandCodesAndMissingDevice) {
  VirtualPlatform platform;
  platform.AddDisk(PlainDisk(false));
  StorageDevice record(platform);
  ASSERT_TRUE(record.OpenByNumber(0));
  struct Case {
    uint8_t code;
    uint8_t status;
  };
  for (const Case c : {Case{0, 1}, Case{3, 1}, Case{1, 4}, Case{4, 4}}) {
    ScsiRequest request;
    request.commandCode = c.code;
    record.ExecuteScsiRequest(request, true);
    EXPECT_EQ(request.status, c.status) << int(c.code);
  }
  EXPECT_EQ(LastCall(platform, "scsi"), nullptr);

  // A freed record still opens its old path but is no longer present.
  record.ResetRecord();
  ScsiRequest request;
  request.cdbLength = 6;
  EXPECT_FALSE(record.ExecuteScsiRequest(request, true));
  EXPECT_EQ(request.status, kScsiRequestNoDevice);
  uint8_t sector[512];
  EXPECT_FALSE(record.ReadSectors(0, 1, sector));

  // A record that cannot be opened.
  platform.Disk(0).options.openFails = true;
  ScsiRequest closed;
  EXPECT_FALSE(record.ExecuteScsiRequest(closed, true));
  EXPECT_EQ(closed.status, kScsiRequestError);
}

// --- Addresses, INQUIRY, READ CAPACITY ---

TEST(StorageDeviceTest, SetAddressOnlyFillsAnUnknownPort) {
  VirtualPlatform platform;
  platform.AddDisk(AddressedDisk(false, 3, 1, 0));
  VirtualDisk unaddressed = PlainDisk(false);
  unaddressed.options.hasScsiAddress = false;
  platform.AddDisk(unaddressed);
  StorageDevice known(platform);
  StorageDevice unknown(platform);
  ASSERT_TRUE(known.OpenByNumber(0));
  ASSERT_TRUE(unknown.OpenByNumber(1));
  known.SetAddress(9, 8, 7);
  unknown.SetAddress(9, 8, 7);
  EXPECT_EQ(known.DeviceAddress(), 0x030100u);
  EXPECT_EQ(unknown.DeviceAddress(), 0x090807u);
  unknown.SetAddress(1, 1, 1);
  EXPECT_EQ(unknown.DeviceAddress(), 0x090807u);
}

TEST(StorageDeviceTest, InquiryResults) {
  VirtualPlatform platform;
  platform.AddDisk(PlainDisk(false));
  PlainDiskOptions optical;
  optical.deviceType = 5;
  optical.removable = true;
  optical.vendor = "VENDORXYZ";  // longer than the field
  optical.product = "DVD";
  optical.revision = "2";
  VirtualDisk virtualDisk;
  virtualDisk.drive = std::make_shared<PlainDiskDrive>(optical);
  platform.AddDisk(virtualDisk);
  StorageDevice disk(platform);
  StorageDevice cd(platform);
  ASSERT_TRUE(disk.OpenByNumber(0));
  ASSERT_TRUE(cd.OpenByNumber(1));

  InquiryResult result = disk.Inquiry(0, 0);
  EXPECT_EQ(result.deviceType, 0);
  EXPECT_EQ(result.removable, 0);
  EXPECT_STREQ(result.vendor, "DOZERED ");
  EXPECT_STREQ(result.product, "PLAIN DISK      ");
  EXPECT_STREQ(result.revision, "1.0 ");

  result = cd.Inquiry(0, 0);
  EXPECT_EQ(result.deviceType, 5);
  EXPECT_EQ(result.removable, 1);
  EXPECT_STREQ(result.vendor, "VENDORXY");
  EXPECT_STREQ(result.product, "DVD             ");
  EXPECT_STREQ(result.revision, "2   ");

  platform.Disk(0).options.passThroughError = 87;
  result = disk.Inquiry(0, 0);
  EXPECT_EQ(result.deviceType, -1);
  EXPECT_EQ(result.removable, 0);
  EXPECT_STREQ(result.vendor, "");
}

TEST(StorageDeviceTest, ReadCapacityResults) {
  struct Case {
    uint32_t sectors;
    uint32_t capacity;
  };
  for (const Case c : {Case{65536, 65536}, Case{2, 2}, Case{1, 0}}) {
    VirtualPlatform platform;
    platform.AddDisk(PlainDisk(false, c.sectors));
    StorageDevice record(platform);
    ASSERT_TRUE(record.OpenByNumber(0));
    const CapacityResult result = record.ReadCapacity(0, 0);
    EXPECT_EQ(result.capacity, c.capacity) << c.sectors;
    EXPECT_EQ(result.blockLength, 512u);
  }
  VirtualPlatform platform;
  platform.AddDisk(PlainDisk(false));
  platform.Disk(0).options.passThroughError = 5;
  StorageDevice record(platform);
  ASSERT_TRUE(record.OpenByNumber(0));
  const CapacityResult failed = record.ReadCapacity(0, 0);
  EXPECT_EQ(failed.capacity, 0u);
  EXPECT_EQ(failed.blockLength, 0u);
}

}  // namespace
}  // namespace dozered
