#include "device/storage_device.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "device/nvme_miniport_request.h"
#include "device/scsi_cdb.h"
#include "device/storage_platform.h"

namespace dozered {

namespace {

// A request a drive does not answer within a minute fails; it does not hold
// the window for the 18 hours of the largest timeout the interfaces take.
constexpr uint32_t kPassThroughTimeoutSeconds = 60;
constexpr uint8_t kSenseResponseFixedCurrent = 0x70;
constexpr uint8_t kSenseKeyHardwareError = 0x04;
constexpr uint8_t kSenseKeyIllegalRequest = 0x05;
constexpr uint8_t kScsiStatusCheckConditionByte = 0x02;

constexpr uint8_t kAtaDeviceLba = 0xE0;
constexpr uint8_t kAtaIdentifyDevice = 0xEC;
constexpr uint8_t kAtaReadDma = 0xC8;
constexpr uint8_t kAtaWriteDma = 0xCA;
constexpr uint32_t kAtaMaxSectors = 256;          // a sector count of 0 means 256
constexpr uint64_t kAtaLba28Limit = 1ull << 28;

constexpr uint8_t kOpInquiry = 0x12;
constexpr uint8_t kOpReadCapacity10 = 0x25;
constexpr uint8_t kInquiryLength = 56;
constexpr uint8_t kReadCapacityLength = 8;
constexpr uint32_t kScsiMaxSectors = 0xFFFF;

// Copies `text` into a fixed text field; false when it does not fit.
bool CopyText(char (&field)[StorageDevice::kTextSize], const std::string& text) {
  const int written = std::snprintf(field, sizeof(field), "%s", text.c_str());
  return written >= 0 && written < static_cast<int>(sizeof(field));
}

AtaTaskFile Lba28TaskFile(uint8_t command, uint32_t lba, uint32_t count) {
  AtaTaskFile taskFile;
  taskFile.features = 0;
  taskFile.sectorCount = static_cast<uint8_t>(count);
  taskFile.lbaLow = static_cast<uint8_t>(lba);
  taskFile.lbaMid = static_cast<uint8_t>(lba >> 8);
  taskFile.lbaHigh = static_cast<uint8_t>(lba >> 16);
  taskFile.device = static_cast<uint8_t>(kAtaDeviceLba | ((lba >> 24) & 0x0F));
  taskFile.command = command;
  return taskFile;
}

void CopyInquiryText(char* out, const uint8_t* bytes, size_t length) {
  std::memcpy(out, bytes, length);
  out[length] = '\0';
}

}  // namespace

StorageDevice::StorageDevice() = default;

StorageDevice::StorageDevice(StoragePlatform& platform)
    : osMajorVersion_(platform.OsMajorVersion()), platform_(&platform) {}

StorageDevice::~StorageDevice() { Close(); }

bool StorageDevice::OpenHandle() {
  if (platform_ == nullptr) return false;
  handle_ = platform_->OpenPath(path_);
  return handle_ != kInvalidPlatformHandle;
}

bool StorageDevice::Open(bool tolerateLockFailure) {
  // A record already open keeps its handle (and its lock): opening it again
  // would lose the first handle.
  if (IsOpen()) return true;
  if (!OpenHandle()) return false;
  if ((flags_ & kFlagByLetter) == 0) return true;
  if (!LockVolume() && !tolerateLockFailure) {
    platform_->ClosePath(handle_);
    handle_ = kInvalidPlatformHandle;
    return false;
  }
  return true;
}

bool StorageDevice::LockVolume() {
  if (!platform_->LockVolume(handle_)) return false;
  if (osMajorVersion_ <= 5) return true;
  if (platform_->DismountVolume(handle_)) return true;
  platform_->UnlockVolume(handle_);
  return false;
}

void StorageDevice::Close() {
  if (!IsOpen()) return;
  if (flags_ & kFlagByLetter) {
    if (platform_->UnlockVolume(handle_) && osMajorVersion_ > 5) platform_->IsVolumeMounted(handle_);
  }
  platform_->ClosePath(handle_);
  handle_ = kInvalidPlatformHandle;
}

bool StorageDevice::IsOpen() const { return handle_ != kInvalidPlatformHandle; }

bool StorageDevice::IsPresent() const { return (flags_ & (kFlagByNumber | kFlagByLetter)) != 0; }

uint32_t StorageDevice::DeviceAddress() const {
  return static_cast<uint32_t>(port_ & 0xFF) << 16 | static_cast<uint32_t>(target_ & 0xFF) << 8 |
         static_cast<uint32_t>(lun_ & 0xFF);
}

const char* StorageDevice::Name() const { return name_; }

void StorageDevice::SetAddress(int32_t port, int32_t target, int32_t lun) {
  if (port_ != kUnknownPort) return;
  port_ = port;
  target_ = target;
  lun_ = lun;
}

void StorageDevice::ResetRecord() {
  Close();
  flags_ = 0;
  port_ = kUnknownPort;
}

bool StorageDevice::OpenByNumber(int32_t diskNumber) {
  if (flags_ != 0 || platform_ == nullptr) return false;
  std::string path;
  std::string name;
  platform_->DiskNames(diskNumber, path, name);
  // A path that does not fit the record would open some other device.
  if (!CopyText(path_, path)) return false;
  CopyText(name_, name);
  if (!OpenHandle()) return false;
  IdentifyOpenDevice();
  flags_ |= kFlagByNumber;
  diskNumber_ = diskNumber;
  return true;
}

bool StorageDevice::OpenByLetter(char letter) {
  if (flags_ != 0 || platform_ == nullptr) return false;
  std::string path;
  std::string name;
  platform_->VolumeNames(letter, path, name);
  if (!CopyText(path_, path)) return false;
  CopyText(name_, name);
  if (!OpenHandle()) return false;
  int32_t diskNumber = -1;
  if (!platform_->GetVolumeDiskNumber(handle_, diskNumber)) {
    platform_->ClosePath(handle_);
    handle_ = kInvalidPlatformHandle;
    return false;
  }
  diskNumber_ = diskNumber;
  IdentifyOpenDevice();
  flags_ |= kFlagByLetter;
  return true;
}

// SCSI address, ATA probe, close, NVMe probe; the handle is open on entry
// and closed on return.
void StorageDevice::IdentifyOpenDevice() {
  ScsiAddress address;
  if (platform_->GetScsiAddress(handle_, address)) {
    port_ = address.port;
    target_ = address.target;
    lun_ = address.lun;
  } else {
    port_ = kUnknownPort;
  }
  if (AtaIdentify()) flags_ |= kFlagAta;
  platform_->ClosePath(handle_);
  handle_ = kInvalidPlatformHandle;
  if ((flags_ & kFlagAta) == 0 && NvmeIdentify()) flags_ |= kFlagNvme;
}

bool StorageDevice::AtaIdentify() {
  uint8_t data[kSectorSize];
  AtaTaskFile taskFile;
  taskFile.device = kAtaDeviceLba;
  taskFile.command = kAtaIdentifyDevice;
  return RunAtaCommand(kAtaFlagsDataIn, taskFile, data, sizeof(data), true);
}

bool StorageDevice::NvmeIdentify() {
  const std::string portPath = platform_->ScsiPortPath(port_, path_);
  const PlatformHandle portHandle = platform_->OpenPath(portPath);
  if (portHandle == kInvalidPlatformHandle) return false;
  std::vector<uint8_t> block(kNvmeMiniportBlockSize);
  const uint32_t inputLength = BuildNvmeIdentifyControllerRequest(block.data());
  const uint32_t outputLength = ReadLe32(block.data() + kNvmeMiniportReturnLengthOffset);
  const bool ok = platform_->NvmeMiniport(portHandle, block.data(), inputLength, outputLength);
  platform_->ClosePath(portHandle);
  return ok;
}

bool StorageDevice::RunAtaCommand(uint16_t ataFlags, const AtaTaskFile& taskFile, uint8_t* data,
                                  uint32_t length, bool tolerateLockFailure) {
  if (platform_ == nullptr) return false;
  if (length != 0 && data == nullptr) return false;
  bool openedHere = false;
  if (!IsOpen()) {
    if (!Open(tolerateLockFailure)) return false;
    openedHere = true;
  }
  // The transfer goes through a buffer aligned to 16 bytes.
  std::vector<uint8_t> storage(length + 15);
  uint8_t* aligned = nullptr;
  if (length != 0) {
    const auto address = reinterpret_cast<uintptr_t>(storage.data());
    aligned = storage.data() + ((16 - (address & 15)) & 15);
  }
  const bool dataOut = (ataFlags & kAtaFlagsDataOut) != 0;
  const bool dataIn = (ataFlags & kAtaFlagsDataIn) != 0;
  if (dataOut && length != 0) std::memcpy(aligned, data, length);

  AtaPassThroughRequest request;
  request.ataFlags = static_cast<uint16_t>(ataFlags | kAtaFlagsDrdyRequired);
  request.timeOutValue = kPassThroughTimeoutSeconds;
  request.dataTransferLength = length;
  request.dataBuffer = aligned;
  request.currentTaskFile = taskFile;
  const bool ok = platform_->AtaPassThrough(handle_, request);
  if (ok && dataIn && length != 0) std::memcpy(data, aligned, length);

  if (openedHere) Close();
  return ok;
}

bool StorageDevice::ExecuteScsiRequest(ScsiRequest& request, bool tolerateLockFailure) {
  bool openedHere = false;
  if (!IsOpen() && Open(tolerateLockFailure)) openedHere = true;
  if (!IsOpen()) {
    request.status = kScsiRequestError;
  } else {
    switch (request.commandCode) {
      case kScsiRequestHostAdapterInquiry:
      case kScsiRequestAbort:
        request.status = kScsiRequestCompleted;
        break;
      case kScsiRequestExecute:
        ExecuteOpenRequest(request);
        break;
      default:
        request.status = kScsiRequestError;
        break;
    }
  }
  // Execution is synchronous: the status is final here.
  if (platform_ != nullptr) platform_->PauseAfterScsiRequest(1);
  if (openedHere) Close();
  return request.status == kScsiRequestCompleted;
}

void StorageDevice::ExecuteOpenRequest(ScsiRequest& request) {
  request.status = kScsiRequestPending;
  if (!IsPresent()) {
    request.status = kScsiRequestNoDevice;
    return;
  }
  ScsiPassThroughRequest passThrough;
  passThrough.pathId = 0;
  passThrough.targetId = request.target;
  passThrough.lun = request.lun;
  passThrough.cdbLength = std::min<uint8_t>(request.cdbLength, sizeof(passThrough.cdb));
  passThrough.senseInfoLength = request.senseLength;
  passThrough.dataIn = (request.flags & kScsiRequestDataIn) ? kScsiIoctlDataIn : kScsiIoctlDataOut;
  passThrough.dataTransferLength = request.dataLength;
  passThrough.dataBuffer = request.dataBuffer;
  passThrough.timeOutValue = kPassThroughTimeoutSeconds;
  std::memcpy(passThrough.cdb, request.cdb, passThrough.cdbLength);

  const ScsiPassThroughOutcome outcome = platform_->ScsiPassThrough(handle_, passThrough);
  const size_t senseLength = std::min<size_t>(request.senseLength, sizeof(request.sense));
  if (outcome.osError != kOsErrorNone) {
    std::memset(request.sense, 0, senseLength);
    request.sense[0] = kSenseResponseFixedCurrent;
    if (outcome.osError == kOsErrorInvalidParameter) {
      request.sense[2] = kSenseKeyIllegalRequest;
      request.status = kScsiRequestInvalidParameter;
    } else {
      request.sense[2] = kSenseKeyHardwareError;
      request.status = kScsiRequestError;
    }
    return;
  }
  request.targetStatus = outcome.scsiStatus;
  request.hostAdapterStatus = 0;
  request.status = outcome.scsiStatus == 0 ? kScsiRequestCompleted : kScsiRequestError;
  if (outcome.scsiStatus == kScsiStatusCheckConditionByte) std::memcpy(request.sense, outcome.sense, senseLength);
}

bool StorageDevice::RunScsiCommand(const uint8_t* cdb, uint8_t cdbLength, uint8_t direction, uint8_t* data,
                                   uint32_t length, bool tolerateLockFailure) {
  return RunScsiCommandAt(target_, lun_, cdb, cdbLength, direction, data, length, tolerateLockFailure);
}

bool StorageDevice::RunScsiCommandAt(int32_t target, int32_t lun, const uint8_t* cdb, uint8_t cdbLength,
                                     uint8_t direction, uint8_t* data, uint32_t length,
                                     bool tolerateLockFailure) {
  ScsiRequest request;
  request.commandCode = kScsiRequestExecute;
  request.hostAdapter = static_cast<uint8_t>(port_);
  request.flags = direction;
  request.target = static_cast<uint8_t>(target);
  request.lun = static_cast<uint8_t>(lun);
  request.dataLength = length;
  request.dataBuffer = data;
  request.senseLength = kScsiRequestSenseLength;
  request.cdbLength = cdbLength;
  std::memcpy(request.cdb, cdb, cdbLength);
  return ExecuteScsiRequest(request, tolerateLockFailure);
}

bool StorageDevice::ReadSectors(uint32_t lba, uint32_t count, uint8_t* buffer) {
  if (buffer == nullptr) return false;
  if (flags_ & kFlagAta) {
    // READ DMA addresses 28 bits and at most 256 sectors; anything beyond
    // would reach other sectors than asked for.
    if (count == 0 || count > kAtaMaxSectors || lba + uint64_t{count} > kAtaLba28Limit) return false;
    return RunAtaCommand(kAtaFlagsDataIn | kAtaFlagsUseDma, Lba28TaskFile(kAtaReadDma, lba, count), buffer,
                         count * kSectorSize, true);
  }
  if (count > kScsiMaxSectors) return false;
  std::memset(buffer, 0, size_t{count} * kSectorSize);
  uint8_t cdb[10] = {};
  scsi::BuildReadWrite10(cdb, scsi::kOpRead10, 0x04, lba, count);
  return RunScsiCommand(cdb, sizeof(cdb), kScsiRequestDataIn, buffer, count * kSectorSize, true);
}

bool StorageDevice::WriteSectors(uint32_t lba, uint32_t count, const uint8_t* buffer) {
  if (buffer == nullptr) return false;
  // The pass-through interfaces take one buffer pointer for both
  // directions; a data-out transfer only reads from it.
  uint8_t* data = const_cast<uint8_t*>(buffer);
  if (flags_ & kFlagAta) {
    if (count == 0 || count > kAtaMaxSectors || lba + uint64_t{count} > kAtaLba28Limit) return false;
    return RunAtaCommand(kAtaFlagsDataOut | kAtaFlagsUseDma, Lba28TaskFile(kAtaWriteDma, lba, count), data,
                         count * kSectorSize, false);
  }
  if (count > kScsiMaxSectors) return false;
  uint8_t cdb[10] = {};
  scsi::BuildReadWrite10(cdb, scsi::kOpWrite10, static_cast<uint8_t>((lun_ << 5) | 0x04), lba, count);
  return RunScsiCommand(cdb, sizeof(cdb), kScsiRequestDataOut, data, count * kSectorSize, false);
}

InquiryResult StorageDevice::Inquiry(int32_t target, int32_t lun) {
  InquiryResult result;
  uint8_t data[kInquiryLength] = {};
  const uint8_t cdb[6] = {kOpInquiry, static_cast<uint8_t>(lun << 5), 0, 0, kInquiryLength, 0};
  if (!RunScsiCommandAt(target, lun, cdb, sizeof(cdb), kScsiRequestDataIn, data, sizeof(data), true)) {
    return result;
  }
  result.deviceType = data[0] & 0x1F;
  result.removable = (data[1] >> 7) & 1;
  CopyInquiryText(result.vendor, data + 8, 8);
  CopyInquiryText(result.product, data + 16, 16);
  CopyInquiryText(result.revision, data + 32, 4);
  return result;
}

CapacityResult StorageDevice::ReadCapacity(int32_t target, int32_t lun) {
  CapacityResult result;
  uint8_t data[kReadCapacityLength] = {};
  uint8_t cdb[10] = {};
  cdb[0] = kOpReadCapacity10;
  cdb[1] = static_cast<uint8_t>(lun << 5);
  if (!RunScsiCommandAt(target, lun, cdb, sizeof(cdb), kScsiRequestDataIn, data, sizeof(data), true)) {
    return result;
  }
  const uint32_t lastLba = scsi::GetBe32(data);
  result.capacity = lastLba == 0 ? 0 : lastLba + 1;
  result.blockLength = scsi::GetBe32(data + 4);
  return result;
}

}  // namespace dozered
