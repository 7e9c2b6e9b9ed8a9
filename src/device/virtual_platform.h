// A storage platform whose disks and lettered volumes are served by
// VirtualDrive objects: the simulated controller in the demo, plain disk
// images and recording drives in the tests. Paths and names follow the
// Windows forms ("\\.\PHYSICALDRIVE0", "\\.\c:", "\\.\Scsi2:"), and every
// call the platform receives is kept in a call list for inspection.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "device/storage_platform.h"
#include "device/virtual_drive.h"

namespace dozered {

struct VirtualPlatformOptions {
  uint32_t osMajorVersion = 10;
  bool listDisksFails = false;     // the disk interfaces cannot be listed
  bool privilegeFails = false;
  std::vector<char> lettersWithoutDisk;  // letters that exist but whose disk cannot be found
};

// One call the platform received.
struct VirtualPlatformCall {
  std::string operation;  // open, close, lock, dismount, unlock, mounted, address, extents, scsi, ata, nvme
  std::string path;       // the path the handle was opened with
  bool succeeded = false;
  ScsiPassThroughRequest scsi;     // for "scsi"; the data pointer is the caller's
  AtaPassThroughRequest ata;       // for "ata", as sent
  std::vector<uint8_t> nvmeBlock;  // for "nvme", the block as sent
  uint32_t inputLength = 0;
  uint32_t outputLength = 0;
};

class VirtualPlatform : public StoragePlatform {
 public:
  explicit VirtualPlatform(std::vector<VirtualDisk> disks = {}, VirtualPlatformOptions options = {});

  // Adds a disk; returns its position in the list.
  int AddDisk(VirtualDisk virtualDisk);
  VirtualDisk& Disk(int index) { return disks_.at(static_cast<size_t>(index)); }
  int DiskCount() const { return static_cast<int>(disks_.size()); }
  VirtualPlatformOptions& Options() { return options_; }

  const std::vector<VirtualPlatformCall>& Calls() const { return calls_; }
  // "operation path" for every call, in order; handy for comparing sequences.
  std::vector<std::string> CallLines() const;
  void ClearCalls() { calls_.clear(); }
  int OpenHandleCount() const { return static_cast<int>(handles_.size()); }
  int PauseCount() const { return pauses_; }

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
  uint32_t OsMajorVersion() override { return options_.osMajorVersion; }
  void PauseAfterScsiRequest(uint32_t) override { ++pauses_; }

 private:
  enum class Kind { Disk, Volume, Port };
  struct OpenHandle {
    Kind kind = Kind::Disk;
    int disk = -1;  // index into disks_, -1 for a letter without disk
    char letter = 0;
    std::string path;
  };
  struct VolumeState {
    PlatformHandle lockedBy = kInvalidPlatformHandle;
    bool mounted = true;
  };

  int32_t DiskNumberOf(int index) const;
  int FindDiskByNumber(int32_t number) const;
  int FindDiskByLetter(char letter) const;
  int FindDiskByPort(int32_t port) const;
  const OpenHandle* Find(PlatformHandle handle) const;
  VirtualPlatformCall& Record(const std::string& operation, const OpenHandle* open);

  std::vector<VirtualDisk> disks_;
  VirtualPlatformOptions options_;
  std::map<PlatformHandle, OpenHandle> handles_;
  std::map<char, VolumeState> volumes_;
  std::vector<VirtualPlatformCall> calls_;
  PlatformHandle nextHandle_ = 100;
  int pauses_ = 0;
};

}  // namespace dozered
