// Device access on Linux: the whole disks of /sys/block under their kernel
// names, SCSI commands through SG_IO (sg3_utils' pass-through layer), ATA
// commands as SAT ATA PASS-THROUGH(16), NVMe Identify through the NVMe admin
// ioctl on the namespace device. Linux has no drive letters, so there are no
// volumes; a volume lock is an exclusive open.
//
// Whether a disk takes SG_IO is decided once, when it is first opened: a
// device that answers SG_GET_VERSION_NUM gets every SCSI and ATA command
// through SG_IO, and a failed request is a failed request; any other device
// (loop, NVMe namespace, virtio disk) and image files are served by plain
// positioned reads and writes (direct I/O on block devices, never the page
// cache).
//
// Descriptors: a disk is opened read-only first, and for writing only when
// a request sends data to it, so that a scan never opens anything for
// writing. Descriptors stay open for the session (until the next listing of
// the disks, or the platform's end) while records open and close around
// each exchange: every close of a descriptor opened for writing makes udev
// re-read the partition table and probe the disk, and its reads would fall
// between the unlock reads of the next exchange. While a record holds the
// disk open the platform also holds flock(LOCK_EX) on it, which udev and
// other careful programs respect; a disk someone else holds locked does not
// open.
//
// A read-only device (opened read-only, or marked read-only with BLKROSET)
// gets no data-out request at all, since SG_IO would carry writes past the
// kernel's read-only flag.
#pragma once

#ifdef __linux__

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "device/linux_block_devices.h"
#include "device/linux_pass_through.h"
#include "device/storage_platform.h"

namespace dozered {

// How the platform reaches a disk.
// kNvmePassThrough: an NVMe namespace, whose sectors are read and written
// with NVMe I/O commands (NVME_IOCTL_IO_CMD).
enum class LinuxTransport { kNotOpened, kScsiPassThrough, kPlainIo, kNvmePassThrough };

class LinuxStoragePlatform : public StoragePlatform {
 public:
  // The disks of /sys/block, listed again at every scan.
  LinuxStoragePlatform();
  // The disks of another sysfs block folder, with device nodes under
  // `devRoot` (which ends in '/'); `calls` stands in for the kernel's
  // pass-through calls when given.
  LinuxStoragePlatform(std::string sysBlockRoot, std::string devRoot,
                       std::unique_ptr<LinuxKernelCalls> calls = nullptr);
  // Exactly these devices or image files as disks 0, 1, ...; each is named
  // after its last path component.
  explicit LinuxStoragePlatform(const std::vector<std::string>& diskPaths,
                                std::unique_ptr<LinuxKernelCalls> calls = nullptr);
  ~LinuxStoragePlatform() override;
  LinuxStoragePlatform(const LinuxStoragePlatform&) = delete;
  LinuxStoragePlatform& operator=(const LinuxStoragePlatform&) = delete;

  const std::vector<LinuxBlockDisk>& Disks() const { return listed_; }
  // Handles given out and not yet closed.
  int OpenHandleCount() const { return static_cast<int>(handles_.size()); }
  // Descriptors held for the session, open handles or not.
  int HeldDescriptorCount() const;
  LinuxTransport TransportOf(const std::string& path) const;
  // How long an open waits for a disk another program holds locked (udev
  // holds it for a moment while it probes the disk).
  void SetLockWait(std::chrono::milliseconds wait) { lockWait_ = wait; }

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
  // Lists the disks again and ends the session: descriptors no handle uses
  // are closed.
  bool ListDiskNumbers(std::vector<int32_t>& diskNumbers) override;
  uint32_t LogicalDrives() override { return 0; }
  bool RequestDriverPrivilege() override { return true; }
  uint32_t OsMajorVersion() override;
  void PauseAfterScsiRequest(uint32_t milliseconds) override;  // no wait
  std::string LastErrorText() const override { return lastError_; }

 private:
  // One disk opened in this session.
  struct Session {
    std::string path;
    std::string name;          // kernel name, the product text of plain answers
    bool regularFile = false;  // an image file
    bool blockDevice = false;
    bool passThrough = false;  // SG_IO; otherwise plain I/O
    uint32_t nvmeNamespace = 0;  // the namespace id of an NVMe namespace with 512-byte blocks
    int fds[2][2] = {{-1, -1}, {-1, -1}};  // [for writing][direct I/O]; [0][0] is always open
    int users = 0;             // handles open on it
    bool writeRefused = false; // opening it for writing failed: read-only medium
    bool readOnly = false;     // no data out; refreshed at every open
    int exclusiveFd = -1;      // held while the "volume" is locked
    std::string problem;       // why the last descriptor could not be opened
  };

  Session* Find(PlatformHandle handle);
  Session* OpenSession(const std::string& path);
  void CloseSession(Session& session);
  void CloseIdleSessions();
  bool TakeLock(Session& session);
  // The descriptor for one kind of access, opened on first use; -1 with
  // session.problem set when it cannot be opened.
  int Descriptor(Session& session, bool forWriting, bool direct);
  // Refuses a data-out request on a read-only disk; true when refused.
  bool RefuseWrite(Session& session, bool dataOut, ScsiPassThroughOutcome* outcome);
  SgReply SendScsi(Session& session, const ScsiPassThroughRequest& request, bool dataOut);
  // READ(10) or WRITE(10) as NVMe I/O commands on an NVMe namespace.
  ScsiPassThroughOutcome NvmeTransfer(Session& session, const ScsiPassThroughRequest& request, bool dataOut);

  std::unique_ptr<LinuxKernelCalls> calls_;
  bool fixedList_ = false;
  std::string sysBlockRoot_ = "/sys/block";
  std::string devRoot_ = "/dev/";
  std::vector<LinuxBlockDisk> listed_;
  std::map<std::string, Session> sessions_;       // by path
  std::map<PlatformHandle, std::string> handles_;  // handle -> path
  PlatformHandle nextHandle_ = 1;
  std::chrono::milliseconds lockWait_ {10000};
  std::string lastError_;
};

}  // namespace dozered

#endif  // __linux__
