// Device access on Linux: the whole disks of /sys/block under their kernel
// names, SCSI commands through SG_IO (sg3_utils' pass-through layer), ATA
// commands as SAT ATA PASS-THROUGH(16), NVMe Identify through the NVMe admin
// ioctl on the controller device. Linux has no drive letters, so there are no
// volumes; a volume lock is an exclusive open. Devices that refuse SG_IO and
// image files are served by plain positioned reads and writes (direct I/O
// on block devices, never the page cache). A read-only device (opened
// read-only, or marked read-only with BLKROSET) gets no data-out request at
// all, since SG_IO would carry writes past the kernel's read-only flag.
#pragma once

#ifdef __linux__

#include <map>
#include <set>
#include <string>
#include <vector>

#include "device/linux_block_devices.h"
#include "device/storage_platform.h"

namespace dozered {

class LinuxStoragePlatform : public StoragePlatform {
 public:
  // The disks of /sys/block, listed again at every scan.
  LinuxStoragePlatform();
  // The disks of another sysfs block folder, with device nodes under `devRoot`
  // (which ends in '/').
  LinuxStoragePlatform(std::string sysBlockRoot, std::string devRoot);
  // Exactly these devices or image files as disks 0, 1, ...; each is named
  // after its last path component.
  explicit LinuxStoragePlatform(const std::vector<std::string>& diskPaths);
  ~LinuxStoragePlatform() override;
  LinuxStoragePlatform(const LinuxStoragePlatform&) = delete;
  LinuxStoragePlatform& operator=(const LinuxStoragePlatform&) = delete;

  const std::vector<LinuxBlockDisk>& Disks() const { return disks_; }
  int OpenHandleCount() const { return static_cast<int>(handles_.size()); }

  void DiskNames(int32_t diskNumber, std::string& path, std::string& name) override;
  void VolumeNames(char letter, std::string& path, std::string& name) override;
  std::string ScsiPortPath(int32_t port, const std::string& devicePath) override;
  PlatformHandle OpenPath(const std::string& path) override;
  void ClosePath(PlatformHandle handle) override;
  bool LockVolume(PlatformHandle handle) override;
  bool DismountVolume(PlatformHandle handle) override;
  bool UnlockVolume(PlatformHandle handle) override;
  bool IsVolumeMounted(PlatformHandle handle) override;
  bool GetScsiAddress(PlatformHandle handle, ScsiAddress& address) override;
  bool GetVolumeDiskNumber(PlatformHandle handle, int32_t& diskNumber) override;
  ScsiPassThroughOutcome ScsiPassThrough(PlatformHandle handle, const ScsiPassThroughRequest& request) override;
  bool AtaPassThrough(PlatformHandle handle, AtaPassThroughRequest& request) override;
  bool NvmeMiniport(PlatformHandle handle, uint8_t* block, uint32_t inputLength, uint32_t outputLength) override;
  bool ListDiskNumbers(std::vector<int32_t>& diskNumbers) override;
  uint32_t LogicalDrives() override { return 0; }
  bool RequestDriverPrivilege() override { return true; }
  uint32_t OsMajorVersion() override;
  void PauseAfterScsiRequest(uint32_t milliseconds) override;  // no wait
  std::string LastErrorText() const override { return lastError_; }

 private:
  struct Handle {
    std::string path;
    std::string name;          // kernel name, the product text of plain answers
    bool plainOnly = false;    // an image file, or a device that refused SG_IO
    bool regularFile = false;  // an image file
    bool readOnly = false;     // opened read-only or marked read-only: no data out
    int exclusiveFd = -1;      // held while the "volume" is locked
    int directFd = -2;         // O_DIRECT descriptor for plain I/O; -2 not tried, -1 unavailable
    std::string directProblem; // why direct I/O is unavailable
  };

  Handle* Find(PlatformHandle handle);
  int DirectFd(Handle& handle);
  // Refuses a data-out request on a read-only handle; true when refused.
  bool RefuseWrite(const Handle& handle, bool dataOut, ScsiPassThroughOutcome* outcome);
  // Sends a SCSI command with SG_IO; false (with the handle marked plain-only)
  // when the device refuses SG_IO altogether.
  bool SendScsi(int fd, Handle& handle, const ScsiPassThroughRequest& request, ScsiPassThroughOutcome& outcome);

  bool fixedList_ = false;
  std::string sysBlockRoot_ = "/sys/block";
  std::string devRoot_ = "/dev/";
  std::vector<LinuxBlockDisk> disks_;
  std::map<PlatformHandle, Handle> handles_;
  std::set<std::string> plainPaths_;  // devices found to refuse SG_IO, until the next listing
  std::string lastError_;
};

}  // namespace dozered

#endif  // __linux__
