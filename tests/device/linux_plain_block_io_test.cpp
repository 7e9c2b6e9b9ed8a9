// Plain block I/O on real loop devices (as root; skipped with the reason
// elsewhere): a write the device refuses is a failed write, a disk is never
// read or written through the page cache, and a read-only disk gets no
// write at all.
#ifdef __linux__

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "device/linux_storage_platform.h"
#include "device/scsi_cdb.h"
#include "device/storage_device.h"
#include "support/loop_devices.h"
#include "support/temp_dir.h"

namespace dozered {
namespace {

using testing::LoopDevice;
using testing::TmpfsMount;

constexpr uint64_t kImageBytes = 4 << 20;
constexpr uint32_t kUnwrittenLba = (3 << 20) / 512;  // in the image's hole

std::vector<uint8_t> Pattern(uint8_t seed) {
  std::vector<uint8_t> sector(512);
  for (size_t i = 0; i < sector.size(); ++i) sector[i] = static_cast<uint8_t>(seed + i * 13);
  return sector;
}

// The platform over one device or image, and the record opened on it.
struct Disk {
  explicit Disk(const std::string& path) : platform({path}), record(platform) { opened = record.OpenByNumber(0); }
  LinuxStoragePlatform platform;
  StorageDevice record;
  bool opened = false;
};

// A sparse image on a tmpfs that is then filled to the last byte: writes to
// the image's holes have no room. Seen on a loop device: the direct write
// failed with ENOSPC, a write through the cache "succeeded", was lost when
// written back, and the sector read back as zeros.
TEST(LinuxPlainBlockIoTest, AWriteWithoutRoomBehindItFails) {
  if (const std::string why = testing::LoopDevicesUnavailable(); !why.empty()) GTEST_SKIP() << why;
  struct Case {
    const char* name;
    bool throughLoop;
  } cases[] = {{"loop device", true}, {"image file", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TmpfsMount tmpfs(1 << 20);
    if (!tmpfs.problem().empty()) GTEST_SKIP() << tmpfs.problem();
    const std::string image = tmpfs.Path("image");
    ASSERT_TRUE(testing::MakeSparseFile(image, kImageBytes));
    testing::FillUp(tmpfs.Path("filler"));
    std::unique_ptr<LoopDevice> loop;
    if (c.throughLoop) {
      loop = std::make_unique<LoopDevice>(image);
      if (!loop->problem().empty()) GTEST_SKIP() << loop->problem();
    }
    Disk disk(c.throughLoop ? loop->Device() : image);
    ASSERT_TRUE(disk.opened);
    const std::vector<uint8_t> data = Pattern(0x21);
    EXPECT_FALSE(disk.record.WriteSectors(kUnwrittenLba, 1, data.data()));
    std::vector<uint8_t> back(512, 0xEE);
    ASSERT_TRUE(disk.record.ReadSectors(kUnwrittenLba, 1, back.data()));
    EXPECT_NE(back, data);
  }
}

// A disk whose sectors are not 512 bytes cannot be accessed directly; it is
// not accessed through the cache instead, and the platform says why.
TEST(LinuxPlainBlockIoTest, ADiskWith4KiBSectorsIsRefusedWithAReason) {
  testing::TempDir dir;
  const std::string image = dir.Path("image");
  ASSERT_TRUE(testing::MakeSparseFile(image, kImageBytes));
  LoopDevice loop(image, "-b 4096");
  if (!loop.problem().empty()) GTEST_SKIP() << loop.problem();
  Disk disk(loop.Device());
  ASSERT_TRUE(disk.opened);
  std::vector<uint8_t> sector = Pattern(0x42);
  EXPECT_FALSE(disk.record.WriteSectors(8, 1, sector.data()));
  EXPECT_FALSE(disk.record.ReadSectors(8, 1, sector.data()));
  EXPECT_NE(disk.platform.LastErrorText().find("4096"), std::string::npos) << disk.platform.LastErrorText();
}

// Root passes SG_IO writes through the kernel's read-only flag, so the
// platform itself refuses every data-out request on a read-only disk, as a
// write-protected disk answers (DATA PROTECT), and reads still work.
TEST(LinuxPlainBlockIoTest, AReadOnlyDiskGetsNoWrite) {
  struct Case {
    const char* name;
    const char* losetupOptions;
    bool setReadOnly;  // blockdev --setro after attaching
  } cases[] = {{"attached read-only", "-r", false}, {"marked read-only", "", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir dir;
    const std::string image = dir.Path("image");
    ASSERT_TRUE(testing::MakeSparseFile(image, kImageBytes));
    LoopDevice loop(image, c.losetupOptions);
    if (!loop.problem().empty()) GTEST_SKIP() << loop.problem();
    if (c.setReadOnly) {
      ASSERT_TRUE(testing::RunCommand("blockdev --setro " + loop.Device()));
    }
    Disk disk(loop.Device());
    ASSERT_TRUE(disk.opened);

    std::vector<uint8_t> data = Pattern(0x63);
    ScsiRequest request;
    request.flags = kScsiRequestDataOut;
    request.dataLength = 512;
    request.dataBuffer = data.data();
    request.cdbLength = 10;
    scsi::BuildReadWrite10(request.cdb, scsi::kOpWrite10, 0x04, 16, 1);
    EXPECT_FALSE(disk.record.ExecuteScsiRequest(request, false));
    EXPECT_EQ(request.sense[2] & 0x0F, 0x07) << "DATA PROTECT";
    EXPECT_EQ(request.sense[12], 0x27) << "write protected";
    EXPECT_FALSE(disk.record.WriteSectors(16, 1, data.data()));
    EXPECT_NE(disk.platform.LastErrorText().find("read-only"), std::string::npos);

    std::vector<uint8_t> back(512, 0xEE);
    ASSERT_TRUE(disk.record.ReadSectors(16, 1, back.data()));
    EXPECT_EQ(back, std::vector<uint8_t>(512, 0));
  }
}

}  // namespace
}  // namespace dozered

#endif  // __linux__
