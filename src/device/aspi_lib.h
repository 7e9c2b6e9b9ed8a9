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
  // The record at `index` (0 to kMaxRecords - 1).
  StorageDevice& Record(int index);
  const StorageDevice& Record(int index) const;

 private:
  StoragePlatform& platform_;
  int32_t count_ = 0;
  std::vector<std::unique_ptr<StorageDevice>> records_;
};

}  // namespace dozered
