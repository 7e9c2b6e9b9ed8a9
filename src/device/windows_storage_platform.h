// Device access on Windows: CreateFileA paths, DeviceIoControl with the SCSI,
// ATA and NVMe miniport pass-through requests and the volume controls,
// SetupAPI listing of the disk interfaces, logical drive letters.
#pragma once

#ifdef _WIN32

#include "device/storage_platform.h"

namespace dozered {

class WindowsStoragePlatform : public StoragePlatform {
 public:
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
  uint32_t LogicalDrives() override;
  bool RequestDriverPrivilege() override;
  uint32_t OsMajorVersion() override;
  void PauseAfterScsiRequest(uint32_t milliseconds) override;
};

}  // namespace dozered

#endif  // _WIN32
