// One suite every storage platform that can run here must pass: a plain
// disk of known size is found, identified and read and written sector by
// sector through StorageDevice and AspiLib.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "device/aspi_lib.h"
#include "device/plain_disk_drive.h"
#include "device/storage_device.h"
#include "device/virtual_platform.h"

#ifdef __linux__
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "device/linux_block_devices.h"
#include "device/linux_storage_platform.h"
#endif

namespace dozered {
namespace {

constexpr uint32_t kSectors = 2048;  // 1 MiB

// A platform serving one plain disk of kSectors sectors as disk 0.
class PlatformUnderTest {
 public:
  virtual ~PlatformUnderTest() = default;
  virtual StoragePlatform& Platform() = 0;
  virtual std::string DiskName() const = 0;
  // The sector as stored behind the platform (image file or drive).
  virtual std::vector<uint8_t> StoredSector(uint32_t lba) = 0;
};

class VirtualUnderTest : public PlatformUnderTest {
 public:
  explicit VirtualUnderTest(const std::string& imagePath = "") {
    PlainDiskOptions options;
    options.sectorCount = kSectors;
    options.imagePath = imagePath;
    drive_ = std::make_shared<PlainDiskDrive>(options);
    VirtualDisk virtualDisk;
    virtualDisk.drive = drive_;
    platform_.AddDisk(virtualDisk);
  }
  StoragePlatform& Platform() override { return platform_; }
  std::string DiskName() const override { return "PHYSICALDRIVE0"; }
  std::vector<uint8_t> StoredSector(uint32_t lba) override {
    std::vector<uint8_t> sector(512);
    drive_->ReadSector(lba, sector.data());
    return sector;
  }

 private:
  VirtualPlatform platform_;
  std::shared_ptr<PlainDiskDrive> drive_;
};

// An image file of kSectors zero sectors under a short name (the record's
// path field holds 49 characters).
class ImageFile {
 public:
  ImageFile() {
#ifdef __linux__
    char name[] = "/tmp/dzimgXXXXXX";
    const int fd = mkstemp(name);
    if (fd >= 0) {
      if (ftruncate(fd, off_t{kSectors} * 512) != 0) name[0] = '\0';
      close(fd);
    } else {
      name[0] = '\0';
    }
    path_ = name;
#else
    std::random_device random;
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("dzimg" + std::to_string(random()) + ".img");
    std::ofstream(file, std::ios::binary).close();
    std::error_code error;
    std::filesystem::resize_file(file, uint64_t{kSectors} * 512, error);
    if (!error) path_ = file.string();
#endif
  }
  ~ImageFile() {
    if (!path_.empty()) std::remove(path_.c_str());
  }
  const std::string& Path() const { return path_; }
  std::vector<uint8_t> Sector(uint32_t lba) const {
    std::vector<uint8_t> sector(512);
    std::ifstream in(path_, std::ios::binary);
    in.seekg(std::streamoff{lba} * 512);
    in.read(reinterpret_cast<char*>(sector.data()), 512);
    return sector;
  }

 private:
  std::string path_;
};

class VirtualFileUnderTest : public VirtualUnderTest {
 public:
  explicit VirtualFileUnderTest(std::unique_ptr<ImageFile> image)
      : VirtualUnderTest(image->Path()), image_(std::move(image)) {}
  std::vector<uint8_t> StoredSector(uint32_t lba) override { return image_->Sector(lba); }

 private:
  std::unique_ptr<ImageFile> image_;
};

#ifdef __linux__
class LinuxUnderTest : public PlatformUnderTest {
 public:
  LinuxUnderTest(std::unique_ptr<ImageFile> image, std::string devicePath)
      : image_(std::move(image)), devicePath_(std::move(devicePath)), platform_({devicePath_}) {}
  ~LinuxUnderTest() override {
    if (devicePath_ != image_->Path()) {
      const std::string command = "losetup -d " + devicePath_;
      EXPECT_EQ(std::system(command.c_str()), 0) << command;
    }
  }
  StoragePlatform& Platform() override { return platform_; }
  std::string DiskName() const override { return devicePath_.substr(devicePath_.rfind('/') + 1); }
  std::vector<uint8_t> StoredSector(uint32_t lba) override { return image_->Sector(lba); }
  const std::string& DevicePath() const { return devicePath_; }

 private:
  std::unique_ptr<ImageFile> image_;
  std::string devicePath_;
  LinuxStoragePlatform platform_;
};

// Attaches a loop device to a fresh image; empty when that is not possible here.
std::string AttachLoop(const std::string& image) {
  if (geteuid() != 0) return {};
  FILE* pipe = popen(("losetup --find --show " + image + " 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return {};
  char line[128] = {};
  const bool read = std::fgets(line, sizeof(line), pipe) != nullptr;
  const int status = pclose(pipe);
  if (!read || status != 0) return {};
  std::string device = line;
  while (!device.empty() && (device.back() == '\n' || device.back() == '\r')) device.pop_back();
  return device.rfind("/dev/loop", 0) == 0 ? device : std::string();
}
#endif

struct PlatformKind {
  const char* name;
  // Returns nullptr with `skip` filled when the platform cannot run here.
  std::function<std::unique_ptr<PlatformUnderTest>(std::string& skip)> make;
};

const PlatformKind kPlatformKinds[] = {
    {"VirtualInMemory", [](std::string&) -> std::unique_ptr<PlatformUnderTest> {
       return std::make_unique<VirtualUnderTest>();
     }},
    {"VirtualImageFile", [](std::string& skip) -> std::unique_ptr<PlatformUnderTest> {
       auto image = std::make_unique<ImageFile>();
       if (image->Path().empty()) {
         skip = "no image file can be created here";
         return nullptr;
       }
       return std::make_unique<VirtualFileUnderTest>(std::move(image));
     }},
#ifdef __linux__
    {"LinuxImageFile", [](std::string& skip) -> std::unique_ptr<PlatformUnderTest> {
       auto image = std::make_unique<ImageFile>();
       if (image->Path().empty()) {
         skip = "no image file can be created here";
         return nullptr;
       }
       const std::string path = image->Path();
       return std::make_unique<LinuxUnderTest>(std::move(image), path);
     }},
    {"LinuxLoopDevice", [](std::string& skip) -> std::unique_ptr<PlatformUnderTest> {
       auto image = std::make_unique<ImageFile>();
       const std::string device = image->Path().empty() ? std::string() : AttachLoop(image->Path());
       if (device.empty()) {
         skip = "loop devices cannot be attached here (needs root and losetup)";
         return nullptr;
       }
       return std::make_unique<LinuxUnderTest>(std::move(image), device);
     }},
#endif
};

class StoragePlatformContractTest : public ::testing::TestWithParam<PlatformKind> {
 protected:
  void SetUp() override {
    std::string skip;
    under_ = GetParam().make(skip);
    if (!under_) GTEST_SKIP() << skip;
    record_ = std::make_unique<StorageDevice>(under_->Platform());
    ASSERT_TRUE(record_->OpenByNumber(0));
  }
  void TearDown() override {
    record_.reset();
    under_.reset();
  }

  static std::vector<uint8_t> Pattern(uint32_t sectors, uint8_t seed) {
    std::vector<uint8_t> data(size_t{sectors} * 512);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 31 + seed + i / 512);
    return data;
  }

  std::unique_ptr<PlatformUnderTest> under_;
  std::unique_ptr<StorageDevice> record_;
};

TEST_P(StoragePlatformContractTest, DiskIsIdentifiedAsAPlainDisk) {
  EXPECT_STREQ(record_->Name(), under_->DiskName().c_str());
  EXPECT_EQ(record_->Flags(), StorageDevice::kFlagByNumber) << "no ATA and no NVMe on a plain disk";
  const InquiryResult inquiry = record_->Inquiry(record_->Target(), record_->Lun());
  EXPECT_EQ(inquiry.deviceType, 0);
  EXPECT_EQ(std::strlen(inquiry.vendor), 8u);
  const CapacityResult capacity = record_->ReadCapacity(record_->Target(), record_->Lun());
  EXPECT_EQ(capacity.capacity, kSectors);
  EXPECT_EQ(capacity.blockLength, 512u);
  EXPECT_FALSE(record_->IsOpen());
}

TEST_P(StoragePlatformContractTest, SectorsWrittenAreReadBackAndStored) {
  struct Case {
    uint32_t lba;
    uint32_t count;
  };
  const Case cases[] = {{0, 1}, {0x55AA % kSectors, 1}, {5, 3}, {kSectors - 1, 1}, {kSectors - 128, 128}};
  uint8_t seed = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lba);
    const std::vector<uint8_t> out = Pattern(c.count, seed++);
    ASSERT_TRUE(record_->WriteSectors(c.lba, c.count, out.data()));
    std::vector<uint8_t> in(out.size(), 0xEE);
    ASSERT_TRUE(record_->ReadSectors(c.lba, c.count, in.data()));
    EXPECT_EQ(in, out);
    EXPECT_EQ(under_->StoredSector(c.lba + c.count - 1),
              std::vector<uint8_t>(out.end() - 512, out.end()));
  }
}

TEST_P(StoragePlatformContractTest, RecordHeldOpenServesManyCommands) {
  ASSERT_TRUE(record_->Open(false));
  const std::vector<uint8_t> out = Pattern(1, 9);
  for (uint32_t lba : {0xAAu, 0x55u, 0xAAu}) {
    ASSERT_TRUE(record_->WriteSectors(lba, 1, out.data()));
    std::vector<uint8_t> in(512);
    ASSERT_TRUE(record_->ReadSectors(lba, 1, in.data()));
    EXPECT_EQ(in, out);
  }
  EXPECT_TRUE(record_->IsOpen());
  record_->Close();
  EXPECT_FALSE(record_->IsOpen());
}

TEST_P(StoragePlatformContractTest, AccessBeyondTheEndFails) {
  std::vector<uint8_t> buffer(2 * 512, 0xEE);
  EXPECT_FALSE(record_->ReadSectors(kSectors, 1, buffer.data()));
  EXPECT_EQ(buffer[0], 0) << "the read buffer is cleared first";
  EXPECT_FALSE(record_->ReadSectors(kSectors - 1, 2, buffer.data()));
  EXPECT_FALSE(record_->WriteSectors(kSectors, 1, buffer.data()));
  EXPECT_TRUE(record_->ReadSectors(kSectors - 1, 1, buffer.data()));
}

TEST_P(StoragePlatformContractTest, ScanListsTheDisk) {
  AspiLib aspi(under_->Platform());
  aspi.ResetAll();
  aspi.ScanDevices();
  ASSERT_EQ(aspi.DeviceCountFound(), 1);
  const StorageDevice& record = aspi.Record(0);
  EXPECT_STREQ(record.Name(), under_->DiskName().c_str());
  EXPECT_TRUE(record.IsPresent());
  EXPECT_FALSE(record.IsOpen());
  EXPECT_NE(record.Port(), 255);
}

INSTANTIATE_TEST_SUITE_P(Platforms, StoragePlatformContractTest, ::testing::ValuesIn(kPlatformKinds),
                         [](const ::testing::TestParamInfo<PlatformKind>& info) { return info.param.name; });

#ifdef __linux__
// An attached loop device is a disk of /sys/block like any other.
TEST(LinuxLoopDeviceTest, AttachedLoopDeviceIsListedAndDetachedOneIsNot) {
  ImageFile image;
  const std::string device = image.Path().empty() ? std::string() : AttachLoop(image.Path());
  if (device.empty()) GTEST_SKIP() << "loop devices cannot be attached here (needs root and losetup)";
  const std::string name = device.substr(device.rfind('/') + 1);
  auto listed = [&name] {
    const std::vector<LinuxBlockDisk> disks = ListLinuxBlockDisks("/sys/block", "/dev/");
    return std::any_of(disks.begin(), disks.end(), [&](const LinuxBlockDisk& d) { return d.name == name; });
  };
  EXPECT_TRUE(listed());
  {
    LinuxStoragePlatform platform;
    AspiLib aspi(platform);
    aspi.ScanDevices();
    bool found = false;
    for (int i = 0; i < aspi.DeviceCountFound(); ++i) found = found || name == aspi.Record(i).Name();
    EXPECT_TRUE(found);
  }
  ASSERT_EQ(std::system(("losetup -d " + device).c_str()), 0);
  // Detaching may complete asynchronously; give the kernel a moment.
  for (int i = 0; i < 50 && listed(); ++i) usleep(20000);
  EXPECT_FALSE(listed());
}
#endif

}  // namespace
}  // namespace dozered
