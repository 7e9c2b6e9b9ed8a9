// One storage target (a whole disk or a lettered volume) and the raw I/O the
// controller protocol runs on. The record logic (flags, open and lock rules,
// CDB and ATA task-file building, sense handling) lives here once; the
// operating system's part is a StoragePlatform.
//
// Public interface fixed for the protocol layer: Open, Close, IsOpen,
// IsPresent, DeviceAddress, ReadSectors, WriteSectors, Inquiry, ReadCapacity,
// Name. The implementation fills in the rest.
#pragma once

#include <cstdint>
#include <string>

namespace dozered {

class StoragePlatform;

struct InquiryResult {
  int32_t deviceType = -1;  // peripheral device type, -1 when INQUIRY failed
  int32_t removable = 0;
  char vendor[9] = {};
  char product[17] = {};
  char revision[5] = {};
};

struct CapacityResult {
  uint32_t capacity = 0;    // last LBA + 1, 0 when the last LBA reads 0 or on failure
  uint32_t blockLength = 0;
};

class StorageDevice {
 public:
  static constexpr uint32_t kFlagByNumber = 0x00000001;
  static constexpr uint32_t kFlagByLetter = 0x00000002;
  static constexpr uint32_t kFlagNvme = 0x40000000;
  static constexpr uint32_t kFlagAta = 0x80000000;

  // --- used by the controller protocol ---
  bool Open(bool tolerateLockFailure);
  void Close();
  bool IsOpen() const;
  bool IsPresent() const;
  uint32_t DeviceAddress() const;
  bool ReadSectors(uint32_t lba, uint32_t count, uint8_t* buffer);
  bool WriteSectors(uint32_t lba, uint32_t count, const uint8_t* buffer);
  InquiryResult Inquiry(int32_t target, int32_t lun);
  CapacityResult ReadCapacity(int32_t target, int32_t lun);
  const char* Name() const;
};

}  // namespace dozered
