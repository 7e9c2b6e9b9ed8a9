#ifdef __linux__

#include "device/linux_storage_platform.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <linux/nvme_ioctl.h>
#include <scsi/sg_pt.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "device/linux_plain_block_io.h"
#include "device/nvme_miniport_request.h"
#include "device/pass_through_checks.h"
#include "device/sat_ata_pass_through.h"
#include "device/scsi_cdb.h"

namespace dozered {

namespace {

constexpr uint8_t kStatusGood = 0x00;
constexpr uint8_t kStatusCheckCondition = 0x02;

// Errors with which a block device says it does not take SG_IO at all.
bool RefusesPassThrough(int error) {
  return error == EINVAL || error == ENOTTY || error == EOPNOTSUPP || error == ENOSYS;
}

uint32_t MapErrno(int error) {
  if (error == EINVAL || error == ENOTTY || error == EOPNOTSUPP || error == ENOSYS) return kOsErrorInvalidParameter;
  return kOsErrorIoDevice;
}

std::string LastComponent(const std::string& path) { return std::filesystem::path(path).filename().string(); }

// The kernel's read-only flag of a block device (BLKROSET, blockdev --setro,
// write-protected media).
bool BlockDeviceReadOnly(int fd) {
  int readOnly = 0;
  return ioctl(fd, BLKROGET, &readOnly) == 0 && readOnly != 0;
}

}  // namespace

LinuxStoragePlatform::LinuxStoragePlatform() { disks_ = ListLinuxBlockDisks(sysBlockRoot_, devRoot_); }

LinuxStoragePlatform::LinuxStoragePlatform(std::string sysBlockRoot, std::string devRoot)
    : sysBlockRoot_(std::move(sysBlockRoot)), devRoot_(std::move(devRoot)) {
  disks_ = ListLinuxBlockDisks(sysBlockRoot_, devRoot_);
}

LinuxStoragePlatform::LinuxStoragePlatform(const std::vector<std::string>& diskPaths) : fixedList_(true) {
  for (const std::string& path : diskPaths) disks_.push_back({LastComponent(path), path});
}

LinuxStoragePlatform::~LinuxStoragePlatform() {
  while (!handles_.empty()) ClosePath(handles_.begin()->first);
}

void LinuxStoragePlatform::DiskNames(int32_t diskNumber, std::string& path, std::string& name) {
  if (diskNumber < 0 || static_cast<size_t>(diskNumber) >= disks_.size()) {
    path.clear();
    name.clear();
    return;
  }
  path = disks_[static_cast<size_t>(diskNumber)].path;
  name = disks_[static_cast<size_t>(diskNumber)].name;
}

void LinuxStoragePlatform::VolumeNames(char, std::string& path, std::string& name) {
  path.clear();
  name.clear();
}

std::string LinuxStoragePlatform::ScsiPortPath(int32_t, const std::string& devicePath) {
  // NVMe Identify goes to the controller of the namespace; other disks have
  // no NVMe controller to ask.
  return LinuxNvmeControllerPath(devicePath, devRoot_);
}

LinuxStoragePlatform::Handle* LinuxStoragePlatform::Find(PlatformHandle handle) {
  const auto it = handles_.find(handle);
  return it == handles_.end() ? nullptr : &it->second;
}

PlatformHandle LinuxStoragePlatform::OpenPath(const std::string& path) {
  if (path.empty()) return kInvalidPlatformHandle;
  int fd = open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
  // Read-only media (a CD, a write-protected disk) still answer reads.
  bool readOnly = false;
  if (fd < 0 && errno == EROFS) {
    fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    readOnly = true;
  }
  if (fd < 0) return kInvalidPlatformHandle;
  struct stat info {};
  if (fstat(fd, &info) != 0 || !(S_ISREG(info.st_mode) || S_ISBLK(info.st_mode) || S_ISCHR(info.st_mode))) {
    close(fd);
    return kInvalidPlatformHandle;
  }
  // O_NONBLOCK only keeps the open from waiting for removable media.
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  Handle handle;
  handle.path = path;
  handle.name = LastComponent(path);
  handle.regularFile = S_ISREG(info.st_mode);
  handle.plainOnly = handle.regularFile || plainPaths_.count(path) != 0;
  handle.readOnly = readOnly || (S_ISBLK(info.st_mode) && BlockDeviceReadOnly(fd));
  handles_[fd] = handle;
  return fd;
}

void LinuxStoragePlatform::ClosePath(PlatformHandle handle) {
  Handle* open = Find(handle);
  if (open == nullptr) return;
  if (open->exclusiveFd >= 0) close(open->exclusiveFd);
  if (open->directFd >= 0) close(open->directFd);
  close(static_cast<int>(handle));
  handles_.erase(handle);
}

bool LinuxStoragePlatform::LockVolume(PlatformHandle handle) {
  Handle* open = Find(handle);
  if (open == nullptr) return false;
  if (open->exclusiveFd >= 0) return true;
  // On a block device O_EXCL fails while it is mounted or otherwise claimed.
  open->exclusiveFd = ::open(open->path.c_str(), O_RDONLY | O_EXCL | O_CLOEXEC);
  return open->exclusiveFd >= 0;
}

bool LinuxStoragePlatform::DismountVolume(PlatformHandle handle) {
  // Nothing is mounted on a device held exclusively.
  Handle* open = Find(handle);
  return open != nullptr && open->exclusiveFd >= 0;
}

bool LinuxStoragePlatform::UnlockVolume(PlatformHandle handle) {
  Handle* open = Find(handle);
  if (open == nullptr || open->exclusiveFd < 0) return false;
  close(open->exclusiveFd);
  open->exclusiveFd = -1;
  return true;
}

bool LinuxStoragePlatform::IsVolumeMounted(PlatformHandle handle) { return Find(handle) != nullptr; }

bool LinuxStoragePlatform::GetScsiAddress(PlatformHandle handle, ScsiAddress& address) {
  Handle* open = Find(handle);
  if (open == nullptr || open->plainOnly) return false;
  return ReadLinuxScsiAddress(sysBlockRoot_, open->name, address);
}

bool LinuxStoragePlatform::GetVolumeDiskNumber(PlatformHandle, int32_t&) { return false; }

int LinuxStoragePlatform::DirectFd(Handle& handle) {
  if (handle.directFd != -2) return handle.directFd;
  handle.directFd = -1;
  // An image file is read and written through the cache and made durable
  // after each write; only block devices are accessed directly.
  if (handle.regularFile) return -1;
  const int fd = open(handle.path.c_str(), (handle.readOnly ? O_RDONLY : O_RDWR) | O_DIRECT | O_CLOEXEC);
  if (fd < 0) {
    handle.directProblem = handle.name + ": direct access cannot be opened (" + std::strerror(errno) +
                           "); the disk is not accessed through the cache instead";
    return -1;
  }
  // Direct I/O of single 512-byte sectors needs 512-byte logical blocks.
  int sectorSize = 0;
  if (ioctl(fd, BLKSSZGET, &sectorSize) != 0 || sectorSize != 512) {
    close(fd);
    handle.directProblem = handle.name + ": logical sectors of " + std::to_string(sectorSize) +
                           " bytes; direct access needs 512-byte sectors, and the disk is not accessed through "
                           "the cache instead";
    return -1;
  }
  handle.directFd = fd;
  return fd;
}

bool LinuxStoragePlatform::RefuseWrite(const Handle& handle, bool dataOut, ScsiPassThroughOutcome* outcome) {
  if (!handle.readOnly || !dataOut) return false;
  lastError_ = handle.name + " is read-only: nothing is written to it";
  if (outcome != nullptr) {
    outcome->scsiStatus = kStatusCheckCondition;
    scsi::FillFixedSense(outcome->sense, sizeof(outcome->sense), 0x07, 0x27);  // DATA PROTECT, write protected
  }
  return true;
}

bool LinuxStoragePlatform::SendScsi(int fd, Handle& handle, const ScsiPassThroughRequest& request,
                                    ScsiPassThroughOutcome& outcome) {
  if (handle.plainOnly) return false;
  sg_pt_base* pt = construct_scsi_pt_obj();
  if (pt == nullptr) {
    outcome.osError = kOsErrorGenFailure;
    return true;
  }
  uint8_t sense[32] = {};
  set_scsi_pt_cdb(pt, request.cdb, request.cdbLength);
  set_scsi_pt_sense(pt, sense, sizeof(sense));
  if (request.dataTransferLength != 0) {
    if (request.dataIn == kScsiIoctlDataIn) {
      set_scsi_pt_data_in(pt, request.dataBuffer, static_cast<int>(request.dataTransferLength));
    } else {
      set_scsi_pt_data_out(pt, request.dataBuffer, static_cast<int>(request.dataTransferLength));
    }
  }
  const int result = do_scsi_pt(pt, fd, static_cast<int>(request.timeOutValue), 0);
  int osError = result < 0 ? -result : 0;
  const int category = result == 0 ? get_scsi_pt_result_category(pt) : -1;
  if (category == SCSI_PT_RESULT_OS_ERR) osError = get_scsi_pt_os_err(pt);

  bool delivered = true;
  if (osError != 0 || result == SCSI_PT_DO_NOT_SUPPORTED) {
    if (result == SCSI_PT_DO_NOT_SUPPORTED || RefusesPassThrough(osError)) {
      handle.plainOnly = true;
      plainPaths_.insert(handle.path);
      delivered = false;
    } else {
      outcome.osError = MapErrno(osError);
    }
  } else if (result == SCSI_PT_DO_BAD_PARAMS) {
    outcome.osError = kOsErrorInvalidParameter;
  } else if (result != 0 || category == SCSI_PT_RESULT_TRANSPORT_ERR) {
    outcome.osError = kOsErrorIoDevice;
  } else {
    outcome.scsiStatus = static_cast<uint8_t>(get_scsi_pt_status_response(pt));
    if (category == SCSI_PT_RESULT_SENSE && outcome.scsiStatus == kStatusGood) outcome.scsiStatus = kStatusCheckCondition;
    const int senseLength = get_scsi_pt_sense_len(pt);
    if (senseLength > 0) std::memcpy(outcome.sense, sense, std::min<size_t>(static_cast<size_t>(senseLength), sizeof(outcome.sense)));
    // A transfer the device cut short is no complete reply.
    const int residual = get_scsi_pt_resid(pt);
    ApplyScsiResidual(request, residual > 0 ? static_cast<uint32_t>(residual) : 0, outcome);
  }
  destruct_scsi_pt_obj(pt);
  return delivered;
}

ScsiPassThroughOutcome LinuxStoragePlatform::ScsiPassThrough(PlatformHandle handle,
                                                             const ScsiPassThroughRequest& request) {
  ScsiPassThroughOutcome outcome;
  Handle* open = Find(handle);
  if (open == nullptr) {
    outcome.osError = kOsErrorInvalidParameter;
    return outcome;
  }
  if (request.cdbLength == 0 || request.cdbLength > sizeof(request.cdb) ||
      (request.dataTransferLength != 0 && request.dataBuffer == nullptr)) {
    outcome.osError = kOsErrorInvalidParameter;
    return outcome;
  }
  const bool dataOut = request.dataIn != kScsiIoctlDataIn && request.dataTransferLength != 0;
  if (RefuseWrite(*open, dataOut, &outcome)) return outcome;
  const int fd = static_cast<int>(handle);
  if (SendScsi(fd, *open, request, outcome)) return outcome;
  PlainIoTarget target;
  target.fd = fd;
  target.directFd = DirectFd(*open);
  target.regularFile = open->regularFile;
  target.name = open->name;
  const bool transfer = request.cdb[0] == scsi::kOpRead10 || request.cdb[0] == scsi::kOpWrite10;
  if (transfer && target.directFd < 0 && !target.regularFile) lastError_ = open->directProblem;
  return AnswerScsiWithPlainIo(target, request);
}

bool LinuxStoragePlatform::AtaPassThrough(PlatformHandle handle, AtaPassThroughRequest& request) {
  Handle* open = Find(handle);
  if (open == nullptr) return false;
  if (RefuseWrite(*open, (request.ataFlags & kAtaFlagsDataOut) != 0, nullptr)) return false;
  if (open->plainOnly) return false;
  if (request.dataTransferLength != 0 && request.dataBuffer == nullptr) return false;
  ScsiPassThroughRequest scsi;
  bool dataIn = false;
  BuildSatAtaPassThrough16(request, scsi.cdb, dataIn);
  scsi.cdbLength = 16;
  scsi.senseInfoLength = 32;
  scsi.dataIn = dataIn ? kScsiIoctlDataIn : kScsiIoctlDataOut;
  scsi.dataTransferLength = request.dataTransferLength;
  scsi.dataBuffer = request.dataBuffer;
  scsi.timeOutValue = request.timeOutValue;
  ScsiPassThroughOutcome outcome;
  if (!SendScsi(static_cast<int>(handle), *open, scsi, outcome)) return false;
  return outcome.osError == kOsErrorNone && outcome.scsiStatus == kStatusGood;
}

bool LinuxStoragePlatform::NvmeMiniport(PlatformHandle handle, uint8_t* block, uint32_t inputLength,
                                        uint32_t outputLength) {
  if (Find(handle) == nullptr || block == nullptr) return false;
  if (inputLength < kNvmeMiniportFixedLength || outputLength < kNvmeMiniportFixedLength) return false;
  if (std::memcmp(block + kNvmeMiniportSignatureOffset, kNvmeMiniportSignature, sizeof(kNvmeMiniportSignature)) != 0 ||
      ReadLe32(block + kNvmeMiniportControlCodeOffset) != kNvmeMiniportControlCode) {
    return false;
  }
  const uint32_t dataLength = ReadLe32(block + kNvmeMiniportDataLengthOffset);
  if (dataLength > std::max(inputLength, outputLength) - kNvmeMiniportDataOffset) return false;
  const uint8_t* submission = block + kNvmeMiniportSubmissionOffset;
  nvme_admin_cmd command {};
  command.opcode = submission[0];
  command.flags = submission[1];
  command.nsid = ReadLe32(submission + 4);
  command.cdw2 = ReadLe32(submission + 8);
  command.cdw3 = ReadLe32(submission + 12);
  command.cdw10 = ReadLe32(submission + 40);
  command.cdw11 = ReadLe32(submission + 44);
  command.cdw12 = ReadLe32(submission + 48);
  command.cdw13 = ReadLe32(submission + 52);
  command.cdw14 = ReadLe32(submission + 56);
  command.cdw15 = ReadLe32(submission + 60);
  command.addr = dataLength != 0 ? reinterpret_cast<uintptr_t>(block + kNvmeMiniportDataOffset) : 0;
  command.data_len = dataLength;
  command.timeout_ms = ReadLe32(block + kNvmeMiniportTimeoutOffset) * 1000;
  const int result = ioctl(static_cast<int>(handle), NVME_IOCTL_ADMIN_CMD, &command);
  if (result != 0) return false;
  uint8_t* completion = block + kNvmeMiniportCompletionOffset;
  std::memset(completion, 0, 16);
  WriteLe32(completion, command.result);
  return true;
}

bool LinuxStoragePlatform::ListDiskNumbers(std::vector<int32_t>& diskNumbers) {
  if (!fixedList_) disks_ = ListLinuxBlockDisks(sysBlockRoot_, devRoot_);
  plainPaths_.clear();
  diskNumbers.clear();
  for (size_t i = 0; i < disks_.size(); ++i) diskNumbers.push_back(static_cast<int32_t>(i));
  return true;
}

uint32_t LinuxStoragePlatform::OsMajorVersion() {
  utsname name {};
  if (uname(&name) != 0) return 0;
  unsigned major = 0;
  return std::sscanf(name.release, "%u", &major) == 1 ? major : 0;
}

// SG_IO and the plain reads and writes are complete when they return.
void LinuxStoragePlatform::PauseAfterScsiRequest(uint32_t) {}

}  // namespace dozered

#endif  // __linux__
