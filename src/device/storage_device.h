// One storage target (a whole disk or a lettered volume) and the raw I/O the
// controller protocol runs on. The record logic (flags, open and lock rules,
// CDB and ATA task-file building, sense handling) lives here once; the
// operating system's part is a StoragePlatform.
//
// Public interface fixed for the protocol layer: Open, Close, IsOpen,
// IsPresent, DeviceAddress, ReadSectors, WriteSectors, Inquiry, ReadCapacity,
// Name. The rest serves the enumerator and the tests.
#pragma once

#include <cstdint>
#include <string>

#include "device/storage_platform.h"

namespace dozered {


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

// Command codes and status values of a ScsiRequest.
inline constexpr uint8_t kScsiRequestHostAdapterInquiry = 0x00;
inline constexpr uint8_t kScsiRequestExecute = 0x02;
inline constexpr uint8_t kScsiRequestAbort = 0x03;

inline constexpr uint8_t kScsiRequestPending = 0x00;
inline constexpr uint8_t kScsiRequestCompleted = 0x01;
inline constexpr uint8_t kScsiRequestError = 0x04;
inline constexpr uint8_t kScsiRequestNoDevice = 0x82;
inline constexpr uint8_t kScsiRequestInvalidParameter = 0xE6;

inline constexpr uint8_t kScsiRequestDataIn = 0x08;
inline constexpr uint8_t kScsiRequestDataOut = 0x10;

inline constexpr uint8_t kScsiRequestSenseLength = 14;
inline constexpr uint32_t kSectorSize = 512;

// The request block of one SCSI command, laid out as an ASPI execute-SCSI-
// command request.
struct ScsiRequest {
  uint8_t commandCode = kScsiRequestExecute;
  uint8_t status = kScsiRequestPending;
  uint8_t hostAdapter = 0;
  uint8_t flags = 0;  // kScsiRequestDataIn / kScsiRequestDataOut
  uint32_t reserved1 = 0;
  uint8_t target = 0;
  uint8_t lun = 0;
  uint16_t reserved2 = 0;
  uint32_t dataLength = 0;
  uint8_t* dataBuffer = nullptr;
  uint8_t senseLength = kScsiRequestSenseLength;
  uint8_t cdbLength = 0;
  uint8_t hostAdapterStatus = 0;
  uint8_t targetStatus = 0;
  void* completionRoutine = nullptr;
  uint8_t reserved3[20] = {};
  uint8_t cdb[16] = {};
  uint8_t sense[16] = {};
};

class StorageDevice {
 public:
  static constexpr uint32_t kFlagByNumber = 0x00000001;
  static constexpr uint32_t kFlagByLetter = 0x00000002;
  static constexpr uint32_t kFlagNvme = 0x40000000;
  static constexpr uint32_t kFlagAta = 0x80000000;
  static constexpr int32_t kUnknownPort = 255;
  static constexpr int kTextSize = 50;

  // A record without a platform stays free: every open fails.
  StorageDevice();
  // The platform must outlive the record.
  explicit StorageDevice(StoragePlatform& platform);
  ~StorageDevice();
  StorageDevice(const StorageDevice&) = delete;
  StorageDevice& operator=(const StorageDevice&) = delete;

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

  // --- used by the enumerator ---
  bool OpenByNumber(int32_t diskNumber);
  bool OpenByLetter(char letter);
  void ResetRecord();
  void SetAddress(int32_t port, int32_t target, int32_t lun);
  bool ExecuteScsiRequest(ScsiRequest& request, bool tolerateLockFailure);

  int32_t Port() const { return port_; }
  int32_t Target() const { return target_; }
  int32_t Lun() const { return lun_; }
  uint32_t Flags() const { return flags_; }
  const char* Path() const { return path_; }
  int32_t DiskNumber() const { return diskNumber_; }
  uint32_t OsMajorVersion() const { return osMajorVersion_; }

 private:
  bool OpenHandle();
  bool LockVolume();
  void IdentifyOpenDevice();
  void ExecuteOpenRequest(ScsiRequest& request);
  bool RunScsiCommand(const uint8_t* cdb, uint8_t cdbLength, uint8_t direction, uint8_t* data,
                      uint32_t length, bool tolerateLockFailure);
  bool RunScsiCommandAt(int32_t target, int32_t lun, const uint8_t* cdb, uint8_t cdbLength,
                        uint8_t direction, uint8_t* data, uint32_t length, bool tolerateLockFailure);
  bool RunAtaCommand(uint16_t ataFlags, const AtaTaskFile& taskFile, uint8_t* data,
                     uint32_t length, bool tolerateLockFailure);
  bool AtaIdentify();
  bool NvmeIdentify();

  // Fields in the record's order.
  int32_t port_ = kUnknownPort;
  int32_t target_ = 0;
  int32_t lun_ = 0;
  uint32_t flags_ = 0;
  PlatformHandle handle_ = kInvalidPlatformHandle;
  char path_[kTextSize] = {};
  char name_[kTextSize] = {};
  int32_t diskNumber_ = -1;
  uint32_t osMajorVersion_ = 0;

  StoragePlatform* platform_ = nullptr;
};

}  // namespace dozered
