#ifdef __linux__

#include "device/linux_storage_platform.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

#include "device/linux_plain_block_io.h"
#include "device/nvme_miniport_request.h"
#include "device/pass_through_checks.h"
#include "device/sat_ata_pass_through.h"
#include "device/scsi_cdb.h"

namespace dozered {

namespace {

constexpr uint8_t kStatusCheckCondition = 0x02;
constexpr size_t kNvmeDataAlignment = 4096;

std::string LastComponent(const std::string& path) { return std::filesystem::path(path).filename().string(); }

// The kernel's read-only flag of a block device (BLKROSET, blockdev --setro,
// write-protected media).
bool BlockDeviceReadOnly(int fd) {
  int readOnly = 0;
  return ioctl(fd, BLKROGET, &readOnly) == 0 && readOnly != 0;
}

// Opens `path` without waiting for removable media (O_NONBLOCK only serves
// the open and is cleared again).
int OpenDescriptor(const std::string& path, int flags) {
  const int fd = open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK);
  if (fd >= 0) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

// Whether two descriptors reach the same device or file.
bool SameTarget(int a, int b) {
  struct stat first {};
  struct stat second {};
  if (fstat(a, &first) != 0 || fstat(b, &second) != 0) return false;
  if (S_ISBLK(first.st_mode) || S_ISCHR(first.st_mode)) {
    return (first.st_mode & S_IFMT) == (second.st_mode & S_IFMT) && first.st_rdev == second.st_rdev;
  }
  return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool IsTransfer(const ScsiPassThroughRequest& request) {
  return request.cdb[0] == scsi::kOpRead10 || request.cdb[0] == scsi::kOpWrite10;
}

}  // namespace

LinuxStoragePlatform::LinuxStoragePlatform() : calls_(MakeLinuxKernelCalls()) {
  listed_ = ListLinuxBlockDisks(sysBlockRoot_, devRoot_);
}

LinuxStoragePlatform::LinuxStoragePlatform(std::string sysBlockRoot, std::string devRoot,
                                           std::unique_ptr<LinuxKernelCalls> calls)
    : calls_(calls ? std::move(calls) : MakeLinuxKernelCalls()),
      sysBlockRoot_(std::move(sysBlockRoot)),
      devRoot_(std::move(devRoot)) {
  listed_ = ListLinuxBlockDisks(sysBlockRoot_, devRoot_);
}

LinuxStoragePlatform::LinuxStoragePlatform(const std::vector<std::string>& diskPaths,
                                           std::unique_ptr<LinuxKernelCalls> calls)
    : calls_(calls ? std::move(calls) : MakeLinuxKernelCalls()), fixedList_(true) {
  for (const std::string& path : diskPaths) listed_.push_back({LastComponent(path), path});
}

LinuxStoragePlatform::~LinuxStoragePlatform() {
  handles_.clear();
  for (auto& [path, session] : sessions_) CloseSession(session);
  sessions_.clear();
}

int LinuxStoragePlatform::HeldDescriptorCount() const {
  int count = 0;
  for (const auto& [path, session] : sessions_) {
    for (const auto& row : session.fds) count += static_cast<int>(std::count_if(row, row + 2, [](int fd) { return fd >= 0; }));
  }
  return count;
}

LinuxTransport LinuxStoragePlatform::TransportOf(const std::string& path) const {
  const auto it = sessions_.find(path);
  if (it == sessions_.end()) return LinuxTransport::kNotOpened;
  if (it->second.passThrough) return LinuxTransport::kScsiPassThrough;
  return it->second.nvmeNamespace != 0 ? LinuxTransport::kNvmePassThrough : LinuxTransport::kPlainIo;
}

void LinuxStoragePlatform::DiskNames(int32_t diskNumber, std::string& path, std::string& name) {
  if (diskNumber < 0 || static_cast<size_t>(diskNumber) >= listed_.size()) {
    path.clear();
    name.clear();
    return;
  }
  path = listed_[static_cast<size_t>(diskNumber)].path;
  name = listed_[static_cast<size_t>(diskNumber)].name;
}

void LinuxStoragePlatform::VolumeNames(char, std::string& path, std::string& name) {
  path.clear();
  name.clear();
}

std::string LinuxStoragePlatform::ScsiPortPath(int32_t, const std::string& devicePath) {
  // NVMe admin commands go to the namespace device; other disks have no
  // NVMe controller to ask.
  return LinuxNvmeAdminPath(sysBlockRoot_, devicePath);
}

LinuxStoragePlatform::Session* LinuxStoragePlatform::Find(PlatformHandle handle) {
  const auto it = handles_.find(handle);
  if (it == handles_.end()) return nullptr;
  const auto session = sessions_.find(it->second);
  return session == sessions_.end() ? nullptr : &session->second;
}

LinuxStoragePlatform::Session* LinuxStoragePlatform::OpenSession(const std::string& path) {
  const auto found = sessions_.find(path);
  if (found != sessions_.end()) return &found->second;
  const std::string name = LastComponent(path);
  const int fd = OpenDescriptor(path, O_RDONLY);
  if (fd < 0) {
    SetLastOpenError(errno == EACCES || errno == EPERM ? kOsErrorAccessDenied : kOsErrorGenFailure);
    lastError_ = name + " cannot be opened (" + std::strerror(errno) + ")";
    return nullptr;
  }
  struct stat info {};
  if (fstat(fd, &info) != 0 || !(S_ISREG(info.st_mode) || S_ISBLK(info.st_mode) || S_ISCHR(info.st_mode))) {
    close(fd);
    SetLastOpenError(kOsErrorGenFailure);
    return nullptr;
  }
  Session session;
  session.path = path;
  session.name = name;
  session.regularFile = S_ISREG(info.st_mode);
  session.blockDevice = S_ISBLK(info.st_mode);
  session.fds[0][0] = fd;
  // Decided here, once: a device that does not know SG_IO (a loop device
  // answers EINVAL, an NVMe namespace or an image file ENOTTY) is served by
  // plain I/O; on one that does, a request SG_IO refuses later fails.
  session.passThrough = calls_->ScsiGenericProbe(fd) == 0;
  // An NVMe namespace has no SG_IO. Its sectors are not read and written
  // with plain I/O: the block layer retries a failed write or read several
  // times on its own, and a vendor exchange only works when every sector
  // access reaches the drive once, in order. NVMe I/O commands sent through
  // the namespace are never retried and return the drive's status.
  if (!session.passThrough) {
    uint32_t blockSize = 0;
    const uint32_t nsid = calls_->NvmeNamespace(fd, blockSize);
    if (nsid != 0 && blockSize == 512) session.nvmeNamespace = nsid;
  }
  return &sessions_.emplace(path, std::move(session)).first->second;
}

void LinuxStoragePlatform::CloseSession(Session& session) {
  for (auto& row : session.fds) {
    for (int& fd : row) {
      if (fd >= 0) close(fd);
      fd = -1;
    }
  }
  if (session.exclusiveFd >= 0) close(session.exclusiveFd);
  session.exclusiveFd = -1;
}

void LinuxStoragePlatform::CloseIdleSessions() {
  for (auto it = sessions_.begin(); it != sessions_.end();) {
    if (it->second.users == 0) {
      CloseSession(it->second);
      it = sessions_.erase(it);
    } else {
      ++it;
    }
  }
}

bool LinuxStoragePlatform::TakeLock(Session& session) {
  const auto deadline = std::chrono::steady_clock::now() + lockWait_;
  for (;;) {
    if (flock(session.fds[0][0], LOCK_EX | LOCK_NB) == 0) return true;
    // Where locks are not supported there is nobody to keep out.
    if (errno != EWOULDBLOCK && errno != EINTR) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

int LinuxStoragePlatform::Descriptor(Session& session, bool forWriting, bool direct) {
  int& slot = session.fds[forWriting ? 1 : 0][direct ? 1 : 0];
  if (slot >= 0) return slot;
  // An image file is read and written through the cache and made durable
  // after each write; only block devices are accessed directly.
  if (direct && !session.blockDevice) return -1;
  const int fd = OpenDescriptor(session.path, (forWriting ? O_RDWR : O_RDONLY) | (direct ? O_DIRECT : 0));
  if (fd < 0) {
    const int error = errno;
    if (forWriting && error == EROFS) session.writeRefused = true;
    session.problem = direct ? session.name + ": direct access cannot be opened (" + std::strerror(error) +
                                   "); the disk is not accessed through the cache instead"
                             : session.name + " cannot be opened for writing (" + std::strerror(error) + ")";
    return -1;
  }
  // The node may stand for another device since the session began (a disk
  // unplugged and another one plugged in under its name).
  if (!SameTarget(fd, session.fds[0][0])) {
    close(fd);
    session.problem = session.name + " is no longer the disk that was opened; scan again";
    return -1;
  }
  if (direct) {
    // Direct I/O of single 512-byte sectors needs 512-byte logical blocks.
    int sectorSize = 0;
    if (ioctl(fd, BLKSSZGET, &sectorSize) != 0 || sectorSize != 512) {
      close(fd);
      session.problem = session.name + ": logical sectors of " + std::to_string(sectorSize) +
                        " bytes; direct access needs 512-byte sectors, and the disk is not accessed through "
                        "the cache instead";
      return -1;
    }
  }
  slot = fd;
  return fd;
}

PlatformHandle LinuxStoragePlatform::OpenPath(const std::string& path) {
  if (path.empty()) return kInvalidPlatformHandle;
  Session* session = OpenSession(path);
  if (session == nullptr) return kInvalidPlatformHandle;
  SetLastOpenError(kOsErrorNone);
  if (session->users == 0 && !TakeLock(*session)) {
    SetLastOpenError(kOsErrorGenFailure);
    lastError_ = session->name + " is locked by another program; it was not opened";
    return kInvalidPlatformHandle;
  }
  session->readOnly =
      session->writeRefused || (session->blockDevice && BlockDeviceReadOnly(session->fds[0][0]));
  ++session->users;
  const PlatformHandle handle = nextHandle_++;
  handles_[handle] = path;
  return handle;
}

void LinuxStoragePlatform::ClosePath(PlatformHandle handle) {
  Session* session = Find(handle);
  handles_.erase(handle);
  if (session == nullptr) return;
  if (--session->users > 0) return;
  if (session->exclusiveFd >= 0) close(session->exclusiveFd);
  session->exclusiveFd = -1;
  // The descriptors stay for the session; only the lock goes.
  flock(session->fds[0][0], LOCK_UN);
}

bool LinuxStoragePlatform::LockVolume(PlatformHandle handle) {
  Session* session = Find(handle);
  if (session == nullptr) return false;
  if (session->exclusiveFd >= 0) return true;
  // On a block device O_EXCL fails while it is mounted or otherwise claimed.
  session->exclusiveFd = ::open(session->path.c_str(), O_RDONLY | O_EXCL | O_CLOEXEC);
  return session->exclusiveFd >= 0;
}

bool LinuxStoragePlatform::DismountVolume(PlatformHandle handle) {
  // Nothing is mounted on a device held exclusively.
  Session* session = Find(handle);
  return session != nullptr && session->exclusiveFd >= 0;
}

bool LinuxStoragePlatform::UnlockVolume(PlatformHandle handle) {
  Session* session = Find(handle);
  if (session == nullptr || session->exclusiveFd < 0) return false;
  close(session->exclusiveFd);
  session->exclusiveFd = -1;
  return true;
}

bool LinuxStoragePlatform::IsVolumeMounted(PlatformHandle handle) { return Find(handle) != nullptr; }

bool LinuxStoragePlatform::GetScsiAddress(PlatformHandle handle, ScsiAddress& address) {
  Session* session = Find(handle);
  if (session == nullptr || !session->passThrough) return false;
  return ReadLinuxScsiAddress(sysBlockRoot_, session->name, address);
}

bool LinuxStoragePlatform::GetVolumeDiskNumber(PlatformHandle, int32_t&) { return false; }

bool LinuxStoragePlatform::RefuseWrite(Session& session, bool dataOut, ScsiPassThroughOutcome* outcome) {
  if (!dataOut) return false;
  if (session.writeRefused) session.readOnly = true;
  if (!session.readOnly) return false;
  lastError_ = session.name + " is read-only: nothing is written to it";
  if (outcome != nullptr) {
    outcome->scsiStatus = kStatusCheckCondition;
    scsi::FillFixedSense(outcome->sense, sizeof(outcome->sense), 0x07, 0x27);  // DATA PROTECT, write protected
  }
  return true;
}

SgReply LinuxStoragePlatform::SendScsi(Session& session, const ScsiPassThroughRequest& request, bool dataOut) {
  SgReply reply;
  // Reads go through the read-only descriptor, data out through the one
  // opened for writing.
  const int fd = dataOut ? Descriptor(session, true, false) : session.fds[0][0];
  if (fd < 0) {
    lastError_ = session.problem;
    reply.result = SgResult::kNotSent;
    reply.osError = EACCES;
    return reply;
  }
  ScsiPassThroughRequest bounded = request;
  if (bounded.timeOutValue == 0 || bounded.timeOutValue > kLinuxRequestTimeoutSeconds) {
    bounded.timeOutValue = kLinuxRequestTimeoutSeconds;
  }
  reply = calls_->SendScsi(fd, bounded);
  // Without CAP_SYS_RAWIO the kernel takes some commands only on a
  // descriptor opened for writing; EPERM means it was not sent.
  if (!dataOut && reply.result == SgResult::kOsError && reply.osError == EPERM) {
    const int writable = Descriptor(session, true, false);
    if (writable >= 0) reply = calls_->SendScsi(writable, bounded);
  }
  if (reply.result == SgResult::kOsError || reply.result == SgResult::kNotSent) {
    lastError_ = session.name + ": the kernel refused the request (" + std::strerror(reply.osError) + ")";
  } else if (reply.result == SgResult::kTransportError) {
    lastError_ = session.name + ": the request got no answer (timed out, aborted or the disk is gone)";
  }
  return reply;
}

ScsiPassThroughOutcome LinuxStoragePlatform::ScsiPassThrough(PlatformHandle handle,
                                                             const ScsiPassThroughRequest& request) {
  ScsiPassThroughOutcome outcome;
  Session* session = Find(handle);
  if (session == nullptr || request.cdbLength == 0 || request.cdbLength > sizeof(request.cdb) ||
      (request.dataTransferLength != 0 && request.dataBuffer == nullptr)) {
    outcome.osError = kOsErrorInvalidParameter;
    return outcome;
  }
  const bool dataOut = request.dataIn != kScsiIoctlDataIn && request.dataTransferLength != 0;
  if (RefuseWrite(*session, dataOut, &outcome)) return outcome;

  if (session->passThrough) {
    const SgReply reply = SendScsi(*session, request, dataOut);
    if (dataOut && RefuseWrite(*session, dataOut, &outcome)) return outcome;
    return InterpretSgReply(request, reply);
  }

  if (session->nvmeNamespace != 0 && IsTransfer(request)) return NvmeTransfer(*session, request, dataOut);

  PlainIoTarget target;
  target.fd = session->fds[0][0];
  target.regularFile = session->regularFile;
  target.name = session->name;
  if (IsTransfer(request)) {
    if (session->regularFile) {
      if (dataOut) target.writeFd = Descriptor(*session, true, false);
    } else {
      target.directFd = Descriptor(*session, dataOut, true);
    }
    if (RefuseWrite(*session, dataOut, &outcome)) return outcome;
    if ((dataOut && session->regularFile && target.writeFd < 0) || (!session->regularFile && target.directFd < 0)) {
      lastError_ = session->problem;
    }
  }
  return AnswerScsiWithPlainIo(target, request);
}

ScsiPassThroughOutcome LinuxStoragePlatform::NvmeTransfer(Session& session, const ScsiPassThroughRequest& request,
                                                          bool dataOut) {
  ScsiPassThroughOutcome outcome;
  auto checkCondition = [&](uint8_t key, uint8_t asc) {
    outcome.scsiStatus = kStatusCheckCondition;
    scsi::FillFixedSense(outcome.sense, sizeof(outcome.sense), key, asc);
    return outcome;
  };
  const bool write = request.cdb[0] == scsi::kOpWrite10;
  const uint32_t lba = scsi::ReadWrite10Lba(request.cdb);
  const uint32_t count = scsi::ReadWrite10Count(request.cdb);
  const size_t length = size_t{count} * 512;
  if (write != dataOut || (count != 0 && request.dataTransferLength < length)) {
    return checkCondition(0x05, 0x24);  // ILLEGAL REQUEST: invalid field in CDB
  }
  uint64_t bytes = 0;
  if (!LinuxDeviceSize(session.fds[0][0], bytes) || uint64_t{lba} + count > bytes / 512) {
    return checkCondition(0x05, 0x21);  // LBA out of range
  }
  if (count == 0) return outcome;
  const int fd = write ? Descriptor(session, true, false) : session.fds[0][0];
  if (fd < 0) {
    lastError_ = session.problem;
    return checkCondition(0x05, 0x20);
  }
  // The data goes through a page-aligned buffer, in commands of at most
  // 64 KiB (every NVMe controller takes that much in one command).
  constexpr uint32_t kMostBlocks = 128;
  AlignedTransferBuffer data(request.dataBuffer, static_cast<uint32_t>(length), !write, kNvmeDataAlignment);
  for (uint32_t done = 0; done < count;) {
    const uint32_t blocks = std::min(kMostBlocks, count - done);
    nvme_passthru_cmd command = LinuxNvmeReadWrite(session.nvmeNamespace, write, uint64_t{lba} + done, blocks);
    command.addr = reinterpret_cast<uintptr_t>(data.data() + size_t{done} * 512);
    const int result = calls_->NvmeIo(fd, command);
    if (result != 0) {
      char text[96];
      if (result > 0) {
        std::snprintf(text, sizeof text, ": the NVMe %s of LBA %u failed (status 0x%04X)", write ? "write" : "read",
                      lba + done, static_cast<unsigned>(result));
      } else {
        std::snprintf(text, sizeof text, ": the NVMe %s of LBA %u was refused (%s)", write ? "write" : "read",
                      lba + done, std::strerror(-result));
      }
      lastError_ = session.name + text;
      // Nothing is known about the data of a failed read.
      return checkCondition(0x03, write ? 0x0C : 0x11);  // MEDIUM ERROR: write error / unrecovered read error
    }
    done += blocks;
  }
  data.CopyBack(static_cast<uint32_t>(length));
  return outcome;
}

bool LinuxStoragePlatform::AtaPassThrough(PlatformHandle handle, AtaPassThroughRequest& request) {
  Session* session = Find(handle);
  if (session == nullptr) return false;
  const bool dataOut = (request.ataFlags & kAtaFlagsDataOut) != 0 && request.dataTransferLength != 0;
  if (RefuseWrite(*session, dataOut, nullptr)) return false;
  if (!session->passThrough) return false;
  if (request.dataTransferLength != 0 && request.dataBuffer == nullptr) return false;
  return RunAtaPassThrough(request, [&](AtaPassThroughRequest& ata) {
    ScsiPassThroughRequest scsi;
    bool dataIn = false;
    if (!BuildSatAtaPassThrough16(ata, scsi.cdb, dataIn)) return false;
    scsi.cdbLength = 16;
    scsi.senseInfoLength = 32;
    scsi.dataIn = dataIn ? kScsiIoctlDataIn : kScsiIoctlDataOut;
    scsi.dataTransferLength = ata.dataTransferLength;
    scsi.dataBuffer = ata.dataBuffer;
    scsi.timeOutValue = ata.timeOutValue;
    const SgReply reply = SendScsi(*session, scsi, dataOut);
    if (dataOut && RefuseWrite(*session, dataOut, nullptr)) return false;
    if (reply.result != SgResult::kGood && reply.result != SgResult::kStatus && reply.result != SgResult::kSense) {
      return false;
    }
    // Every byte of an ATA transfer must have moved.
    if (ata.dataTransferLength != 0 && reply.residual != 0) return false;
    const uint8_t status = reply.result == SgResult::kSense && reply.status == 0 ? kStatusCheckCondition : reply.status;
    return SatReplyCompleted(status, reply.sense, std::min<size_t>(reply.senseLength, sizeof(reply.sense)),
                             ata.currentTaskFile);
  });
}

bool LinuxStoragePlatform::NvmeMiniport(PlatformHandle handle, uint8_t* block, uint32_t inputLength,
                                        uint32_t outputLength) {
  Session* session = Find(handle);
  if (session == nullptr) return false;
  nvme_admin_cmd command {};
  if (!LinuxNvmeAdminFromMiniport(block, inputLength, outputLength, command)) return false;
  const bool toDevice = NvmeOpcodeDirection(command.opcode) == kNvmeDirectionHostToDevice;
  if (RefuseWrite(*session, toDevice && command.data_len != 0, nullptr)) return false;
  const int fd = toDevice ? Descriptor(*session, true, false) : session->fds[0][0];
  if (fd < 0) {
    lastError_ = session->problem;
    return false;
  }
  // The data goes through a page-aligned buffer, copied back only after a
  // good command.
  AlignedTransferBuffer data(block + kNvmeMiniportDataOffset, command.data_len, !toDevice, kNvmeDataAlignment);
  command.addr = reinterpret_cast<uintptr_t>(data.data());
  const int result = calls_->NvmeAdmin(fd, command);
  if (result != 0) {
    if (result < 0) lastError_ = session->name + ": the NVMe admin command was refused (" + std::strerror(-result) + ")";
    return false;
  }
  data.CopyBack(command.data_len);
  uint8_t* completion = block + kNvmeMiniportCompletionOffset;
  std::memset(completion, 0, 16);
  WriteLe32(completion, command.result);
  return true;
}

bool LinuxStoragePlatform::ListDiskNumbers(std::vector<int32_t>& diskNumbers) {
  if (!fixedList_) listed_ = ListLinuxBlockDisks(sysBlockRoot_, devRoot_);
  CloseIdleSessions();
  diskNumbers.clear();
  for (size_t i = 0; i < listed_.size(); ++i) diskNumbers.push_back(static_cast<int32_t>(i));
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
