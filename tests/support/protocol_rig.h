// A drive on a Virtual platform behind a RecordingDrive, its StorageDevice
// record and a controller object bound to it: the set-up of the protocol
// tests and benchmarks.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "device/plain_disk_drive.h"
#include "device/storage_device.h"
#include "device/virtual_platform.h"
#include "protocol/ve4810vo.h"
#include "support/recording_drive.h"

namespace dozered::testing {

inline constexpr uint32_t kSignatureSector = 0x55AA;
inline constexpr int kSignatureAt = 46;

// An ordinary disk whose sector 0x55AA carries a controller signature at
// offset 46: it passes the unlock but stores every command block as data,
// the way a drive that does not intercept commands behaves.
std::shared_ptr<PlainDiskDrive> MakeSignedPlainDisk(const std::string& signature = "VE4810VO",
                                                    PlainDiskOptions options = {});

// A sector filled with a pattern that names its LBA, for data-safety checks.
std::vector<uint8_t> PatternSector(uint32_t lba);

class ProtocolRig {
 public:
  explicit ProtocolRig(std::shared_ptr<VirtualDrive> drive, VirtualDiskOptions options = {});

  RecordingDrive& Recorder() { return *recorder_; }
  VirtualPlatform& Platform() { return platform_; }
  StorageDevice& Record() { return record_; }
  // Bound to the record without probing it (Device set, CommandAddress 0x55AA).
  VE4810VO& Controller() { return controller_; }

  // Platform "open" / "close" calls since the last ClearCounts.
  int Opens() const;
  int Closes() const;
  // Clears the recorded accesses, the platform's call list and the faults.
  void ClearCounts();

  // Reads and writes sectors through a second, fault-free path to the drive
  // underneath the recorder (not logged).
  std::vector<uint8_t> PeekSectors(uint32_t lba, uint32_t count);
  void PokeSectors(uint32_t lba, const std::vector<uint8_t>& data);

 private:
  std::shared_ptr<RecordingDrive> recorder_;
  VirtualPlatform platform_;
  StorageDevice record_;
  VE4810VO controller_;
  std::unique_ptr<VirtualPlatform> peekPlatform_;
  std::unique_ptr<StorageDevice> peekRecord_;
};

}  // namespace dozered::testing
