#include "device/virtual_platform.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "device/nvme_miniport_request.h"
#include "device/windows_device_names.h"

namespace dozered {

namespace {

bool ParseNumberAfter(const std::string& path, const char* prefix, int32_t& number) {
  const size_t prefixLength = std::strlen(prefix);
  if (path.compare(0, prefixLength, prefix) != 0 || path.size() == prefixLength) return false;
  int32_t value = 0;
  size_t i = prefixLength;
  for (; i < path.size() && path[i] >= '0' && path[i] <= '9'; ++i) {
    if (value > 100000) return false;
    value = value * 10 + (path[i] - '0');
  }
  if (i == prefixLength) return false;
  const std::string rest = path.substr(i);
  if (rest != "" && rest != ":") return false;
  number = value;
  return true;
}

}  // namespace

VirtualPlatform::VirtualPlatform(std::vector<VirtualDisk> disks, VirtualPlatformOptions options)
    : disks_(std::move(disks)), options_(std::move(options)) {}

int VirtualPlatform::AddDisk(VirtualDisk virtualDisk) {
  disks_.push_back(std::move(virtualDisk));
  return static_cast<int>(disks_.size()) - 1;
}

std::vector<std::string> VirtualPlatform::CallLines() const {
  std::vector<std::string> lines;
  lines.reserve(calls_.size());
  for (const VirtualPlatformCall& call : calls_) lines.push_back(call.operation + " " + call.path);
  return lines;
}

int32_t VirtualPlatform::DiskNumberOf(int index) const {
  const VirtualDiskOptions& options = disks_[static_cast<size_t>(index)].options;
  return options.diskNumber >= 0 ? options.diskNumber : index;
}

int VirtualPlatform::FindDiskByNumber(int32_t number) const {
  for (int i = 0; i < DiskCount(); ++i) {
    if (DiskNumberOf(i) == number) return i;
  }
  return -1;
}

int VirtualPlatform::FindDiskByLetter(char letter) const {
  for (int i = 0; i < DiskCount(); ++i) {
    const std::vector<char>& letters = disks_[static_cast<size_t>(i)].options.volumeLetters;
    if (std::find(letters.begin(), letters.end(), letter) != letters.end()) return i;
  }
  return -1;
}

int VirtualPlatform::FindDiskByPort(int32_t port) const {
  for (int i = 0; i < DiskCount(); ++i) {
    const VirtualDiskOptions& options = disks_[static_cast<size_t>(i)].options;
    if (options.hasScsiAddress && options.port == port) return i;
  }
  return -1;
}

const VirtualPlatform::OpenHandle* VirtualPlatform::Find(PlatformHandle handle) const {
  const auto it = handles_.find(handle);
  return it == handles_.end() ? nullptr : &it->second;
}

VirtualPlatformCall& VirtualPlatform::Record(const std::string& operation, const OpenHandle* open) {
  VirtualPlatformCall call;
  call.operation = operation;
  if (open != nullptr) call.path = open->path;
  calls_.push_back(std::move(call));
  return calls_.back();
}

void VirtualPlatform::DiskNames(int32_t diskNumber, std::string& path, std::string& name) {
  WindowsDiskNames(diskNumber, path, name);
}

void VirtualPlatform::VolumeNames(char letter, std::string& path, std::string& name) {
  WindowsVolumeNames(letter, path, name);
}

std::string VirtualPlatform::ScsiPortPath(int32_t port, const std::string&) { return WindowsScsiPortPath(port); }

PlatformHandle VirtualPlatform::OpenPath(const std::string& path) {
  OpenHandle open;
  open.path = path;
  bool found = false;
  int32_t number = 0;
  if (ParseNumberAfter(path, "\\\\.\\PHYSICALDRIVE", number)) {
    open.kind = Kind::Disk;
    open.disk = FindDiskByNumber(number);
    found = open.disk >= 0;
  } else if (ParseNumberAfter(path, "\\\\.\\Scsi", number)) {
    open.kind = Kind::Port;
    open.disk = FindDiskByPort(number);
    found = open.disk >= 0;
  } else if (path.size() == 6 && path.compare(0, 4, "\\\\.\\") == 0 && path[5] == ':') {
    open.kind = Kind::Volume;
    open.letter = path[4];
    open.disk = FindDiskByLetter(open.letter);
    const auto& extra = options_.lettersWithoutDisk;
    found = open.disk >= 0 || std::find(extra.begin(), extra.end(), open.letter) != extra.end();
  }
  uint32_t error = found ? kOsErrorNone : kOsErrorGenFailure;
  if (found && open.kind != Kind::Port && open.disk >= 0) {
    const VirtualDiskOptions& options = disks_[static_cast<size_t>(open.disk)].options;
    if (options.openDenied) error = kOsErrorAccessDenied;
    else if (options.openFails) error = kOsErrorGenFailure;
    found = error == kOsErrorNone;
  }
  SetLastOpenError(error);
  VirtualPlatformCall& call = Record("open", &open);
  call.succeeded = found;
  if (!found) return kInvalidPlatformHandle;
  const PlatformHandle handle = nextHandle_++;
  handles_[handle] = open;
  return handle;
}

void VirtualPlatform::ClosePath(PlatformHandle handle) {
  const OpenHandle* open = Find(handle);
  VirtualPlatformCall& call = Record("close", open);
  call.succeeded = open != nullptr;
  if (open == nullptr) return;
  if (open->kind == Kind::Volume) {
    VolumeState& volume = volumes_[open->letter];
    if (volume.lockedBy == handle) volume.lockedBy = kInvalidPlatformHandle;
  }
  handles_.erase(handle);
}

bool VirtualPlatform::LockVolume(PlatformHandle handle) {
  const OpenHandle* open = Find(handle);
  VirtualPlatformCall& call = Record("lock", open);
  if (open == nullptr || open->kind != Kind::Volume) return false;
  VolumeState& volume = volumes_[open->letter];
  const bool fails = open->disk < 0 || disks_[static_cast<size_t>(open->disk)].options.volumeLockFails;
  if (fails || (volume.lockedBy != kInvalidPlatformHandle && volume.lockedBy != handle)) return false;
  volume.lockedBy = handle;
  call.succeeded = true;
  return true;
}

bool VirtualPlatform::DismountVolume(PlatformHandle handle) {
  const OpenHandle* open = Find(handle);
  VirtualPlatformCall& call = Record("dismount", open);
  if (open == nullptr || open->kind != Kind::Volume || open->disk < 0) return false;
  if (disks_[static_cast<size_t>(open->disk)].options.dismountFails) return false;
  volumes_[open->letter].mounted = false;
  call.succeeded = true;
  return true;
}

bool VirtualPlatform::UnlockVolume(PlatformHandle handle) {
  const OpenHandle* open = Find(handle);
  VirtualPlatformCall& call = Record("unlock", open);
  if (open == nullptr || open->kind != Kind::Volume) return false;
  VolumeState& volume = volumes_[open->letter];
  if (volume.lockedBy != handle) return false;
  volume.lockedBy = kInvalidPlatformHandle;
  call.succeeded = true;
  return true;
}

bool VirtualPlatform::IsVolumeMounted(PlatformHandle handle) {
  const OpenHandle* open = Find(handle);
  VirtualPlatformCall& call = Record("mounted", open);
  if (open == nullptr || open->kind != Kind::Volume) return false;
  // Asking mounts the file system again, as Windows does.
  volumes_[open->letter].mounted = true;
  call.succeeded = true;
  return true;
}

bool VirtualPlatform::GetScsiAddress(PlatformHandle handle, ScsiAddress& address) {
  const OpenHandle* open = Find(handle);
  VirtualPlatformCall& call = Record("address", open);
  if (open == nullptr || open->kind == Kind::Port || open->disk < 0) return false;
  const VirtualDiskOptions& options = disks_[static_cast<size_t>(open->disk)].options;
  if (!options.hasScsiAddress) return false;
  address.port = options.port;
  address.target = options.target;
  address.lun = options.lun;
  call.succeeded = true;
  return true;
}

bool VirtualPlatform::GetVolumeDiskNumber(PlatformHandle handle, int32_t& diskNumber) {
  const OpenHandle* open = Find(handle);
  VirtualPlatformCall& call = Record("extents", open);
  if (open == nullptr || open->kind != Kind::Volume || open->disk < 0) return false;
  diskNumber = DiskNumberOf(open->disk);
  call.succeeded = true;
  return true;
}

ScsiPassThroughOutcome VirtualPlatform::ScsiPassThrough(PlatformHandle handle, const ScsiPassThroughRequest& request) {
  const OpenHandle* open = Find(handle);
  VirtualPlatformCall& call = Record("scsi", open);
  call.scsi = request;
  ScsiPassThroughOutcome outcome;
  if (open == nullptr || open->kind == Kind::Port || open->disk < 0) {
    outcome.osError = kOsErrorInvalidFunction;
    return outcome;
  }
  const VirtualDisk& disk = disks_[static_cast<size_t>(open->disk)];
  if (disk.options.passThroughError != kOsErrorNone) {
    outcome.osError = disk.options.passThroughError;
    return outcome;
  }
  if (request.cdbLength == 0 || request.cdbLength > sizeof(request.cdb) ||
      (request.dataTransferLength != 0 && request.dataBuffer == nullptr)) {
    outcome.osError = kOsErrorInvalidParameter;
    return outcome;
  }
  ScsiCommand command;
  std::memcpy(command.cdb, request.cdb, request.cdbLength);
  command.cdbLength = request.cdbLength;
  command.dataIn = request.dataIn == kScsiIoctlDataIn;
  command.data = request.dataBuffer;
  command.length = request.dataTransferLength;
  ScsiOutcome result;
  if (!disk.drive || !disk.drive->ExecuteScsi(command, result)) {
    outcome.osError = kOsErrorIoDevice;
    return outcome;
  }
  outcome.scsiStatus = result.status;
  const size_t senseLength = std::min<size_t>({result.senseLength, request.senseInfoLength, sizeof(outcome.sense)});
  std::memcpy(outcome.sense, result.sense, senseLength);
  call.succeeded = true;
  return outcome;
}

bool VirtualPlatform::AtaPassThrough(PlatformHandle handle, AtaPassThroughRequest& request) {
  const OpenHandle* open = Find(handle);
  VirtualPlatformCall& call = Record("ata", open);
  call.ata = request;
  if (open == nullptr || open->kind == Kind::Port || open->disk < 0) return false;
  const VirtualDisk& disk = disks_[static_cast<size_t>(open->disk)];
  if (disk.options.passThroughError != kOsErrorNone || !disk.drive) return false;
  if (request.dataTransferLength != 0 && request.dataBuffer == nullptr) return false;
  AtaCommand command;
  command.ataFlags = request.ataFlags;
  command.current = request.currentTaskFile;
  command.previous = request.previousTaskFile;
  command.data = request.dataBuffer;
  command.length = request.dataTransferLength;
  if (!disk.drive->ExecuteAta(command)) return false;
  request.currentTaskFile = command.current;
  request.previousTaskFile = command.previous;
  call.succeeded = true;
  return true;
}

bool VirtualPlatform::NvmeMiniport(PlatformHandle handle, uint8_t* block, uint32_t inputLength,
                                   uint32_t outputLength) {
  const OpenHandle* open = Find(handle);
  VirtualPlatformCall& call = Record("nvme", open);
  call.inputLength = inputLength;
  call.outputLength = outputLength;
  if (block != nullptr) call.nvmeBlock.assign(block, block + std::max(inputLength, outputLength));
  if (open == nullptr || open->kind != Kind::Port || open->disk < 0 || block == nullptr) return false;
  const VirtualDisk& disk = disks_[static_cast<size_t>(open->disk)];
  if (disk.options.passThroughError != kOsErrorNone || !disk.drive) return false;
  if (inputLength < kNvmeMiniportFixedLength || outputLength < kNvmeMiniportFixedLength) return false;
  if (std::memcmp(block + kNvmeMiniportSignatureOffset, kNvmeMiniportSignature, sizeof(kNvmeMiniportSignature)) != 0 ||
      ReadLe32(block + kNvmeMiniportControlCodeOffset) != kNvmeMiniportControlCode) {
    return false;
  }
  const uint32_t dataLength = ReadLe32(block + kNvmeMiniportDataLengthOffset);
  const uint32_t room = std::max(inputLength, outputLength) - kNvmeMiniportDataOffset;
  if (dataLength > room) return false;
  NvmeAdminCommand command;
  std::memcpy(command.submission, block + kNvmeMiniportSubmissionOffset, sizeof(command.submission));
  command.data = dataLength != 0 ? block + kNvmeMiniportDataOffset : nullptr;
  command.length = dataLength;
  if (!disk.drive->ExecuteNvmeAdmin(command)) return false;
  std::memcpy(block + kNvmeMiniportCompletionOffset, command.completion, sizeof(command.completion));
  call.succeeded = true;
  return true;
}

bool VirtualPlatform::ListDiskNumbers(std::vector<int32_t>& diskNumbers) {
  diskNumbers.clear();
  if (options_.listDisksFails) return false;
  for (int i = 0; i < DiskCount(); ++i) {
    diskNumbers.push_back(disks_[static_cast<size_t>(i)].options.diskNumberFails ? -1 : DiskNumberOf(i));
  }
  return true;
}

uint32_t VirtualPlatform::LogicalDrives() {
  uint32_t mask = 0;
  auto add = [&mask](char letter) {
    if (letter >= 'a' && letter <= 'z') mask |= 1u << (letter - 'a');
  };
  for (const VirtualDisk& disk : disks_) {
    for (char letter : disk.options.volumeLetters) add(letter);
  }
  for (char letter : options_.lettersWithoutDisk) add(letter);
  return mask;
}

bool VirtualPlatform::RequestDriverPrivilege() { return !options_.privilegeFails; }

}  // namespace dozered
