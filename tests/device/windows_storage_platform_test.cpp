// The Windows platform where it can run without a drive of ours: the scan of
// whatever the machine has, and the failure paths of the pass-through calls
// on a handle that is no disk. (Under wine there are no physical drives and
// no storage drivers behind DeviceIoControl; these tests run there all the
// same.)
#ifdef _WIN32

#include "device/windows_storage_platform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "device/aspi_lib.h"
#include "device/nvme_miniport_request.h"
#include "device/storage_device.h"
#include "support/temp_dir.h"

namespace dozered {
namespace {

// Whatever this machine has: every record the scan keeps is present, closed
// and named as a disk or a volume.
TEST(WindowsStoragePlatformTest, EnumeratesThisMachine) {
  WindowsStoragePlatform platform;
  EXPECT_GT(platform.OsMajorVersion(), 0u);
  AspiLib aspi(platform);
  aspi.ResetAll();
  aspi.ScanDevices();
  ASSERT_LE(aspi.DeviceCountFound(), AspiLib::kMaxRecords);
  for (int i = 0; i < aspi.DeviceCountFound(); ++i) {
    const StorageDevice& record = aspi.Record(i);
    SCOPED_TRACE(record.Name());
    EXPECT_TRUE(record.IsPresent());
    EXPECT_FALSE(record.IsOpen());
    const std::string name = record.Name();
    const bool disk = name.rfind("PHYSICALDRIVE", 0) == 0;
    const bool volume = name.size() == 2 && name[1] == ':';
    EXPECT_TRUE(disk || volume);
  }
}

TEST(WindowsStoragePlatformTest, ADiskThatDoesNotExistIsNotRecorded) {
  WindowsStoragePlatform platform;
  StorageDevice record(platform);
  EXPECT_FALSE(record.OpenByNumber(250));
  EXPECT_FALSE(record.IsPresent());
  EXPECT_FALSE(record.IsOpen());
}

// A handle that is no disk (an ordinary file) takes none of the storage
// controls: each call fails, and a data-in buffer keeps what it held, since
// data is copied back only after a good transfer.
TEST(WindowsStoragePlatformTest, PassThroughOnAHandleThatIsNoDiskFails) {
  testing::TempDir dir;
  const std::string path = dir.Write("not-a-disk.bin", std::string(4096, '\x5A'));
  WindowsStoragePlatform platform;
  const PlatformHandle handle = platform.OpenPath(path);
  ASSERT_NE(handle, kInvalidPlatformHandle);

  std::vector<uint8_t> data(512, 0xEE);
  ScsiPassThroughRequest read10;
  read10.cdbLength = 10;
  read10.cdb[0] = 0x28;
  read10.cdb[8] = 1;
  read10.senseInfoLength = 14;
  read10.dataIn = kScsiIoctlDataIn;
  read10.dataTransferLength = 512;
  read10.timeOutValue = 60;
  read10.dataBuffer = data.data();
  const ScsiPassThroughOutcome outcome = platform.ScsiPassThrough(handle, read10);
  EXPECT_NE(outcome.osError, kOsErrorNone);
  EXPECT_EQ(data, std::vector<uint8_t>(512, 0xEE));

  AtaPassThroughRequest identify;
  identify.ataFlags = kAtaFlagsDataIn | kAtaFlagsDrdyRequired;
  identify.dataTransferLength = 512;
  identify.timeOutValue = 60;
  identify.dataBuffer = data.data();
  identify.currentTaskFile.device = 0xE0;
  identify.currentTaskFile.command = 0xEC;
  EXPECT_FALSE(platform.AtaPassThrough(handle, identify));
  EXPECT_EQ(data, std::vector<uint8_t>(512, 0xEE));

  std::vector<uint8_t> block(kNvmeMiniportBlockSize);
  const uint32_t inputLength = BuildNvmeIdentifyControllerRequest(block.data());
  EXPECT_FALSE(platform.NvmeMiniport(handle, block.data(), inputLength,
                                     ReadLe32(block.data() + kNvmeMiniportReturnLengthOffset)));
  ScsiAddress address;
  EXPECT_FALSE(platform.GetScsiAddress(handle, address));
  int32_t diskNumber = -1;
  EXPECT_FALSE(platform.GetVolumeDiskNumber(handle, diskNumber));
  platform.ClosePath(handle);
}

}  // namespace
}  // namespace dozered

#endif  // _WIN32
