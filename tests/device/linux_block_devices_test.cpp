#ifdef __linux__

#include "device/linux_block_devices.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "device/aspi_lib.h"
#include "device/linux_storage_platform.h"
#include "support/temp_dir.h"

namespace dozered {
namespace {

namespace fs = std::filesystem;

// A small /sys/block of its own: folders, device links (into a devices/
// folder beside it), stacking and loop state.
class FakeSysBlock {
 public:
  FakeSysBlock() : root_(dir_.Path("block")) { fs::create_directories(root_); }
  // A disk with hardware behind it; `hctl` names its device (a SCSI address
  // such as "2:0:5:1", or any other device name).
  void Disk(const std::string& name, const std::string& hctl = "") {
    const std::string device = hctl.empty() ? "dev-" + name : hctl;
    fs::create_directories(dir_.Path("devices/" + device));
    fs::create_directories(root_ + "/" + name);
    fs::create_directory_symlink("../../devices/" + device, root_ + "/" + name + "/device");
  }
  // A device without hardware behind it (no device link).
  void Virtual(const std::string& name) { fs::create_directories(root_ + "/" + name); }
  void StackedOn(const std::string& name, const std::string& below) {
    fs::create_directories(root_ + "/" + name + "/slaves");
    std::ofstream(root_ + "/" + name + "/slaves/" + below);
  }
  void ScsiType(const std::string& name, int type) {
    std::ofstream(root_ + "/" + name + "/device/type") << type << "\n";
  }
  void NvmeNamespace(const std::string& name) { std::ofstream(root_ + "/" + name + "/nsid") << "1\n"; }
  void Hidden(const std::string& name) { std::ofstream(root_ + "/" + name + "/hidden") << "1\n"; }
  void AttachedLoop(const std::string& name) {
    fs::create_directories(root_ + "/" + name + "/loop");
    std::ofstream(root_ + "/" + name + "/loop/backing_file") << "/some/image\n";
  }
  const std::string& Root() const { return root_; }

 private:
  testing::TempDir dir_;
  std::string root_;
};

std::vector<std::string> Names(const std::vector<LinuxBlockDisk>& disks) {
  std::vector<std::string> names;
  for (const LinuxBlockDisk& disk : disks) names.push_back(disk.name);
  return names;
}

TEST(LinuxBlockDevicesTest, ListsWholeDisksInStableOrderAndLeavesOutIdleDevices) {
  FakeSysBlock sys;
  for (const char* name : {"sdb", "nvme10n1", "sda", "nvme2n1", "vda"}) sys.Disk(name);
  for (const char* name : {"ram0", "zram0", "loop0"}) sys.Virtual(name);
  sys.AttachedLoop("loop3");
  const std::vector<LinuxBlockDisk> disks = ListLinuxBlockDisks(sys.Root(), "/dev/");
  EXPECT_EQ(Names(disks), (std::vector<std::string>{"loop3", "nvme2n1", "nvme10n1", "sda", "sdb", "vda"}));
  EXPECT_EQ(disks[0].path, "/dev/loop3");
  EXPECT_TRUE(ListLinuxBlockDisks(sys.Root() + "/missing", "/dev/").empty());
}

// A stacked or virtual device passes the signature check through the disk
// below it and would then write the command block to every disk it spans:
// only the real disks are listed.
TEST(LinuxBlockDevicesTest, StackedVirtualAndOpticalDevicesAreNotListed) {
  FakeSysBlock sys;
  sys.Disk("sda", "0:0:0:0");
  sys.Disk("sdb", "1:0:0:0");
  // md mirror of sda and sdb, dm volume on sdb, bcache on sda, network disk
  for (const char* name : {"md0", "dm-0", "bcache0", "nbd0"}) sys.Virtual(name);
  sys.StackedOn("md0", "sda");
  sys.StackedOn("md0", "sdb");
  sys.StackedOn("dm-0", "sdb");
  sys.StackedOn("bcache0", "sda");
  // Names alone do not decide: a device with hardware behind it that is
  // stacked on a disk, an unknown virtual one, an optical drive under
  // another name.
  sys.Disk("xvdz");
  sys.StackedOn("xvdz", "sda");
  sys.Virtual("zd0");
  sys.Disk("sr0", "2:0:0:0");
  sys.ScsiType("sr0", 5);
  sys.Disk("sdc", "3:0:0:0");
  sys.ScsiType("sdc", 5);
  sys.Disk("sdd", "4:0:0:0");
  sys.ScsiType("sdd", 0);
  EXPECT_EQ(Names(ListLinuxBlockDisks(sys.Root(), "/dev/")), (std::vector<std::string>{"sda", "sdb", "sdd"}));
}

TEST(LinuxBlockDevicesTest, NamesCompareWithNumbersAsNumbers) {
  EXPECT_TRUE(LinuxNameLess("nvme2n1", "nvme10n1"));
  EXPECT_FALSE(LinuxNameLess("nvme10n1", "nvme2n1"));
  EXPECT_TRUE(LinuxNameLess("loop9", "loop10"));
  EXPECT_TRUE(LinuxNameLess("sda", "sdb"));
  EXPECT_TRUE(LinuxNameLess("sdz", "sdaa"));
  EXPECT_TRUE(LinuxNameLess("sdab", "sdba"));
  EXPECT_TRUE(LinuxNameLess("nvme0n1", "nvme0n2"));
  EXPECT_FALSE(LinuxNameLess("sda", "sda"));
}

TEST(LinuxBlockDevicesTest, ScsiAddressComesFromTheDeviceLink) {
  FakeSysBlock sys;
  sys.Disk("sda", "2:0:5:1");
  sys.Virtual("vda");
  sys.Disk("odd", "virtio3");
  ScsiAddress address;
  ASSERT_TRUE(ReadLinuxScsiAddress(sys.Root(), "sda", address));
  EXPECT_EQ(address.port, 2);
  EXPECT_EQ(address.target, 5);
  EXPECT_EQ(address.lun, 1);
  EXPECT_FALSE(ReadLinuxScsiAddress(sys.Root(), "vda", address));
  EXPECT_FALSE(ReadLinuxScsiAddress(sys.Root(), "odd", address));
  EXPECT_FALSE(ReadLinuxScsiAddress(sys.Root(), "", address));
}

// NVMe admin commands go to a namespace's own device; sysfs tells which
// disks are NVMe namespaces (they have an `nsid`), whatever their names.
TEST(LinuxBlockDevicesTest, NvmeAdminCommandsGoToTheNamespaceDevice) {
  FakeSysBlock sys;
  sys.Disk("nvme0n1", "nvme0");
  sys.NvmeNamespace("nvme0n1");
  sys.Disk("nvme3n1", "nvme-subsys3");  // a namespace under native multipath
  sys.NvmeNamespace("nvme3n1");
  sys.Disk("sda", "0:0:0:0");
  sys.Disk("nvme9n1");  // named like a namespace, but sysfs says otherwise
  EXPECT_EQ(LinuxNvmeAdminPath(sys.Root(), "/dev/nvme0n1"), "/dev/nvme0n1");
  EXPECT_EQ(LinuxNvmeAdminPath(sys.Root(), "/dev/nvme3n1"), "/dev/nvme3n1");
  EXPECT_EQ(LinuxNvmeAdminPath(sys.Root(), "/dev/sda"), "");
  EXPECT_EQ(LinuxNvmeAdminPath(sys.Root(), "/dev/nvme9n1"), "");
  EXPECT_EQ(LinuxNvmeAdminPath(sys.Root(), "/dev/nvme0"), "");
  EXPECT_EQ(LinuxNvmeAdminPath(sys.Root(), ""), "");
}

// With NVMe multipath each path has a hidden disk of its own (no device
// node) behind the namespace's disk: only the namespace is listed.
TEST(LinuxBlockDevicesTest, HiddenPathDisksAreNotListed) {
  FakeSysBlock sys;
  sys.Disk("nvme0n1", "nvme-subsys0");
  sys.Disk("nvme0c0n1", "nvme0");
  sys.Disk("nvme0c1n1", "nvme1");
  sys.Hidden("nvme0c1n1");
  sys.Disk("sdb", "1:0:0:0");
  sys.Hidden("sdb");
  sys.Disk("sda", "0:0:0:0");
  EXPECT_EQ(Names(ListLinuxBlockDisks(sys.Root(), "/dev/")), (std::vector<std::string>{"nvme0n1", "sda"}));
}

TEST(LinuxBlockDevicesTest, PlatformOverAFakeSysBlockNamesDisksByKernelName) {
  FakeSysBlock sys;
  sys.Disk("sdb", "1:0:0:0");
  sys.Disk("sda", "0:0:2:0");
  LinuxStoragePlatform platform(sys.Root(), "/nonexistent/");
  std::vector<int32_t> numbers;
  ASSERT_TRUE(platform.ListDiskNumbers(numbers));
  EXPECT_EQ(numbers, (std::vector<int32_t>{0, 1}));
  std::string path;
  std::string name;
  platform.DiskNames(1, path, name);
  EXPECT_EQ(path, "/nonexistent/sdb");
  EXPECT_EQ(name, "sdb");
  platform.DiskNames(2, path, name);
  EXPECT_EQ(path, "");
  EXPECT_EQ(platform.LogicalDrives(), 0u);
  // The device nodes do not exist, so nothing is recorded.
  AspiLib aspi(platform);
  aspi.ScanDevices();
  EXPECT_EQ(aspi.DeviceCountFound(), 0);
}

TEST(LinuxBlockDevicesTest, PathLongerThanTheRecordFieldIsNotOpened) {
  testing::TempDir dir;
  const std::string longPath = dir.Write(std::string(60, 'x') + ".img", std::string(4096, '\0'));
  // The file a cut path would open exists too.
  const std::string cut = longPath.substr(0, StorageDevice::kTextSize - 1);
  ASSERT_GT(cut.size(), dir.Path("").size());
  dir.Write(cut.substr(dir.Path("").size()), std::string(4096, '\0'));
  LinuxStoragePlatform platform({longPath});
  StorageDevice record(platform);
  EXPECT_FALSE(record.OpenByNumber(0)) << "a cut path would name another file";
  EXPECT_EQ(platform.OpenHandleCount(), 0);
}

// Whatever this machine has: every listed disk is a /dev node under its
// kernel name, and a scan leaves no handle open.
TEST(LinuxBlockDevicesTest, EnumeratesThisMachine) {
  const std::vector<LinuxBlockDisk> disks = ListLinuxBlockDisks("/sys/block", "/dev/");
  for (const LinuxBlockDisk& disk : disks) {
    EXPECT_EQ(disk.path, "/dev/" + disk.name);
    EXPECT_NE(disk.name.rfind("ram", 0), 0u) << disk.name;
    EXPECT_NE(disk.name.rfind("zram", 0), 0u) << disk.name;
    if (disk.name.rfind("loop", 0) == 0) {
      EXPECT_TRUE(fs::exists("/sys/block/" + disk.name + "/loop/backing_file"));
    } else {
      EXPECT_TRUE(fs::is_symlink("/sys/block/" + disk.name + "/device")) << disk.name;
      const fs::path slaves = "/sys/block/" + disk.name + "/slaves";
      EXPECT_TRUE(!fs::exists(slaves) || fs::is_empty(slaves)) << disk.name;
    }
  }
  LinuxStoragePlatform platform;
  AspiLib aspi(platform);
  aspi.ResetAll();
  aspi.ScanDevices();
  EXPECT_LE(aspi.DeviceCountFound(), static_cast<int32_t>(disks.size()));
  for (int i = 0; i < aspi.DeviceCountFound(); ++i) {
    const StorageDevice& record = aspi.Record(i);
    EXPECT_TRUE(record.IsPresent());
    EXPECT_NE(record.Port(), 255) << "every record gets an address";
    const auto found = std::find_if(disks.begin(), disks.end(),
                                    [&](const LinuxBlockDisk& disk) { return disk.name == record.Name(); });
    EXPECT_NE(found, disks.end()) << record.Name();
  }
  EXPECT_EQ(platform.OpenHandleCount(), 0);
}

}  // namespace
}  // namespace dozered

#endif  // __linux__
