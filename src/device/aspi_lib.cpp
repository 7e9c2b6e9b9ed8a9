#include "device/aspi_lib.h"

#include "device/storage_platform.h"

namespace dozered {

namespace {

constexpr int kVolumeLetterCount = 24;  // c to z; a and b are never looked at
constexpr int32_t kCoverableDisks = 32;

}  // namespace

AspiLib::AspiLib(StoragePlatform& platform) : platform_(platform) {
  records_.reserve(kMaxRecords);
  for (int i = 0; i < kMaxRecords; ++i) records_.push_back(std::make_unique<StorageDevice>(platform));
}

StorageDevice& AspiLib::Record(int index) { return *records_.at(static_cast<size_t>(index)); }

const StorageDevice& AspiLib::Record(int index) const { return *records_.at(static_cast<size_t>(index)); }

void AspiLib::ResetAll() {
  for (int32_t i = 0; i < count_ && i < kMaxRecords; ++i) records_[static_cast<size_t>(i)]->ResetRecord();
}

void AspiLib::ScanDevices() {
  lastScan_ = {};
  platform_.RequestDriverPrivilege();

  std::vector<int32_t> interfaceNumbers;
  if (!platform_.ListDiskNumbers(interfaceNumbers)) return;
  int32_t diskCount = 0;
  for (int32_t number : interfaceNumbers) {
    if (number >= 0) ++diskCount;
  }

  count_ = 0;
  uint32_t coveredDisks = 0;
  int32_t highestPort = 0;
  auto notePort = [&highestPort](const StorageDevice& record) {
    if (record.Port() != StorageDevice::kUnknownPort && record.Port() > highestPort) highestPort = record.Port();
  };
  auto noteTry = [this](bool opened) {
    ++lastScan_.tried;
    if (!opened && platform_.LastOpenError() == kOsErrorAccessDenied) ++lastScan_.denied;
    return opened;
  };

  const uint32_t letters = platform_.LogicalDrives() >> 2;
  for (int k = 0; k < kVolumeLetterCount && count_ < kMaxRecords; ++k) {
    if ((letters & (1u << k)) == 0) continue;
    StorageDevice& record = *records_[static_cast<size_t>(count_)];
    if (!noteTry(record.OpenByLetter(static_cast<char>('c' + k)))) continue;
    ++count_;
    const int32_t disk = record.DiskNumber();
    if (disk >= 0 && disk < kCoverableDisks) coveredDisks |= 1u << disk;
    notePort(record);
  }

  for (int32_t d = 0; d < diskCount && count_ < kMaxRecords; ++d) {
    if (d < kCoverableDisks && (coveredDisks & (1u << d)) != 0) continue;
    StorageDevice& record = *records_[static_cast<size_t>(count_)];
    if (!noteTry(record.OpenByNumber(d))) continue;
    ++count_;
    notePort(record);
  }

  int32_t nextTarget = 0;
  for (int32_t i = 0; i < count_; ++i) {
    StorageDevice& record = *records_[static_cast<size_t>(i)];
    if (record.Port() != StorageDevice::kUnknownPort) continue;
    record.SetAddress(highestPort + 1, nextTarget, 0);
    ++nextTarget;
  }
}

}  // namespace dozered
