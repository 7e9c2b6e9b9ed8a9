// The enumerator: one StorageDevice record for every lettered volume and
// for every disk that has no lettered volume.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "device/storage_device.h"

namespace dozered {

class StoragePlatform;

class AspiLib {
 public:
  static constexpr int kMaxRecords = 32;

  // What the last scan looked at: the volumes and disks it tried to open,
  // and how many of them could not be opened for lack of rights.
  struct ScanSummary {
    int32_t tried = 0;
    int32_t denied = 0;
  };

  // The platform must outlive the enumerator and its records.
  explicit AspiLib(StoragePlatform& platform);
  AspiLib(const AspiLib&) = delete;
  AspiLib& operator=(const AspiLib&) = delete;

  // Rebuilds the table: volumes c to z, then uncovered disks, then addresses
  // for records without one.
  void ScanDevices();
  // Frees records 0 to count - 1; the count is left for the next scan.
  void ResetAll();
  int32_t DeviceCountFound() const { return count_; }
  const ScanSummary& LastScan() const { return lastScan_; }
  // The record at `index` (0 to kMaxRecords - 1).
  StorageDevice& Record(int index);
  const StorageDevice& Record(int index) const;

 private:
  StoragePlatform& platform_;
  int32_t count_ = 0;
  ScanSummary lastScan_;
  std::vector<std::unique_ptr<StorageDevice>> records_;
};

}  // namespace dozered
