// What the operating system does for device access, and nothing more: open
// and close a device path, lock and dismount volumes, report SCSI addresses
// and disk numbers, carry pass-through requests, list disks and volumes.
// The requests are filled by StorageDevice; a platform only hands them to
// the OS (or to a simulated drive) and reports the outcome.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "device/ata_task_file.h"

namespace dozered {

using PlatformHandle = intptr_t;
inline constexpr PlatformHandle kInvalidPlatformHandle = -1;

// Operating-system error codes the record distinguishes. The values are the
// Windows ones; other platforms map their errors onto them.
inline constexpr uint32_t kOsErrorNone = 0;
inline constexpr uint32_t kOsErrorInvalidFunction = 1;
inline constexpr uint32_t kOsErrorGenFailure = 31;
inline constexpr uint32_t kOsErrorInvalidParameter = 87;
inline constexpr uint32_t kOsErrorIoDevice = 1117;

struct ScsiAddress {
  int32_t port = 255;
  int32_t target = 0;
  int32_t lun = 0;
};

// The fields of a SCSI pass-through direct request (SCSI_PASS_THROUGH_DIRECT
// and the sense buffer after it).
struct ScsiPassThroughRequest {
  uint8_t pathId = 0;
  uint8_t targetId = 0;
  uint8_t lun = 0;
  uint8_t cdbLength = 0;
  uint8_t senseInfoLength = 0;
  uint8_t dataIn = 0;  // 1 data in (device to host), 0 data out
  uint32_t dataTransferLength = 0;
  uint32_t timeOutValue = 0;  // seconds
  uint8_t* dataBuffer = nullptr;
  uint8_t cdb[16] = {};
};

inline constexpr uint8_t kScsiIoctlDataOut = 0;
inline constexpr uint8_t kScsiIoctlDataIn = 1;

struct ScsiPassThroughOutcome {
  uint32_t osError = kOsErrorNone;  // non-zero: the call failed
  uint8_t scsiStatus = 0;
  uint8_t sense[32] = {};           // returned sense bytes when the status is CHECK CONDITION
};

// The fields of an ATA pass-through direct request (ATA_PASS_THROUGH_DIRECT).
struct AtaPassThroughRequest {
  uint16_t ataFlags = 0;
  uint8_t pathId = 0;
  uint8_t targetId = 0;
  uint8_t lun = 0;
  uint32_t dataTransferLength = 0;
  uint32_t timeOutValue = 0;  // seconds
  uint8_t* dataBuffer = nullptr;  // 16-byte aligned
  AtaTaskFile previousTaskFile;
  AtaTaskFile currentTaskFile;
};

inline constexpr uint16_t kAtaFlagsDrdyRequired = 0x01;
inline constexpr uint16_t kAtaFlagsDataIn = 0x02;
inline constexpr uint16_t kAtaFlagsDataOut = 0x04;
inline constexpr uint16_t kAtaFlagsUseDma = 0x10;

class StoragePlatform {
 public:
  virtual ~StoragePlatform() = default;

  // Device and volume naming: the path opened and the short name shown.
  virtual void DiskNames(int32_t diskNumber, std::string& path, std::string& name) = 0;
  virtual void VolumeNames(char letter, std::string& path, std::string& name) = 0;
  // The path of the SCSI port device that carries NVMe miniport requests for
  // the disk at `devicePath` on `port`.
  virtual std::string ScsiPortPath(int32_t port, const std::string& devicePath) = 0;

  // Opens a path for reading and writing, shared; kInvalidPlatformHandle on failure.
  virtual PlatformHandle OpenPath(const std::string& path) = 0;
  virtual void ClosePath(PlatformHandle handle) = 0;

  virtual bool LockVolume(PlatformHandle handle) = 0;
  virtual bool DismountVolume(PlatformHandle handle) = 0;
  virtual bool UnlockVolume(PlatformHandle handle) = 0;
  virtual bool IsVolumeMounted(PlatformHandle handle) = 0;

  virtual bool GetScsiAddress(PlatformHandle handle, ScsiAddress& address) = 0;
  // The disk number of the first extent of the volume.
  virtual bool GetVolumeDiskNumber(PlatformHandle handle, int32_t& diskNumber) = 0;

  virtual ScsiPassThroughOutcome ScsiPassThrough(PlatformHandle handle,
                                                 const ScsiPassThroughRequest& request) = 0;
  // The task files are returned in place.
  virtual bool AtaPassThrough(PlatformHandle handle, AtaPassThroughRequest& request) = 0;
  // One NVMe miniport request block (SRB_IO_CONTROL header, NVMe command,
  // data), used as input (`inputLength` bytes) and output (`outputLength`).
  virtual bool NvmeMiniport(PlatformHandle handle, uint8_t* block, uint32_t inputLength,
                            uint32_t outputLength) = 0;

  // The disk number of each disk interface, -1 where it could not be read;
  // false when the disk interfaces cannot be listed at all.
  virtual bool ListDiskNumbers(std::vector<int32_t>& diskNumbers) = 0;
  // Bit k set: drive letter 'a' + k exists.
  virtual uint32_t LogicalDrives() = 0;
  // Asks for the privilege to talk to drivers; the result may be ignored.
  virtual bool RequestDriverPrivilege() = 0;
  virtual uint32_t OsMajorVersion() = 0;
  // The pause after each SCSI request, in which an asynchronous request
  // interface would finish. Windows sleeps; where requests complete before
  // the call returns a platform need not wait.
  virtual void PauseAfterScsiRequest(uint32_t milliseconds) = 0;
  // Why the platform itself last refused a request, in words for the user
  // (a disk without direct access, a write to a read-only disk); empty when
  // it never did. Requests the drive failed leave it unchanged.
  virtual std::string LastErrorText() const { return {}; }
};

}  // namespace dozered
