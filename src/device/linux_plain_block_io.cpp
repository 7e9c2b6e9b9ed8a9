#ifdef __linux__

#include "device/linux_plain_block_io.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "device/scsi_cdb.h"

namespace dozered {

namespace {

constexpr uint32_t kSector = 512;
constexpr size_t kDirectAlignment = 4096;
constexpr uint8_t kStatusCheckCondition = 0x02;

void CheckCondition(ScsiPassThroughOutcome& outcome, uint8_t key, uint8_t asc) {
  outcome.scsiStatus = kStatusCheckCondition;
  scsi::FillFixedSense(outcome.sense, sizeof(outcome.sense), key, asc);
}

// Reads or writes `length` bytes at `offset` completely; false on any error
// or on the end of the device.
bool TransferAll(int fd, uint8_t* data, size_t length, uint64_t offset, bool write) {
  size_t done = 0;
  while (done < length) {
    const ssize_t n = write ? pwrite(fd, data + done, length - done, static_cast<off_t>(offset + done))
                            : pread(fd, data + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

struct FreeDeleter {
  void operator()(uint8_t* p) const { std::free(p); }
};

bool TransferSectors(const PlainIoTarget& target, uint8_t* data, uint32_t count, uint32_t lba, bool write) {
  const size_t length = size_t{count} * kSector;
  const uint64_t offset = uint64_t{lba} * kSector;
  if (length == 0) return true;
  if (target.regularFile) {
    const int fd = write ? target.writeFd : target.fd;
    if (fd < 0 || !TransferAll(fd, data, length, offset, write)) return false;
    // A write counts once it is on the file's storage.
    return !write || fdatasync(fd) == 0;
  }
  if (target.directFd < 0) return false;
  // O_DIRECT wants an aligned buffer.
  void* raw = nullptr;
  if (posix_memalign(&raw, kDirectAlignment, length) != 0) return false;
  std::unique_ptr<uint8_t, FreeDeleter> bounce(static_cast<uint8_t*>(raw));
  if (write) std::memcpy(bounce.get(), data, length);
  if (!TransferAll(target.directFd, bounce.get(), length, offset, write)) return false;
  if (!write) std::memcpy(data, bounce.get(), length);
  return true;
}

}  // namespace

bool LinuxDeviceSize(int fd, uint64_t& bytes) {
  struct stat info {};
  if (fstat(fd, &info) != 0) return false;
  if (S_ISREG(info.st_mode)) {
    bytes = static_cast<uint64_t>(info.st_size);
    return true;
  }
  if (S_ISBLK(info.st_mode)) {
    uint64_t size = 0;
    if (ioctl(fd, BLKGETSIZE64, &size) != 0) return false;
    bytes = size;
    return true;
  }
  return false;
}

ScsiPassThroughOutcome AnswerScsiWithPlainIo(const PlainIoTarget& target, const ScsiPassThroughRequest& request) {
  ScsiPassThroughOutcome outcome;
  const uint8_t* cdb = request.cdb;
  uint8_t* data = request.dataBuffer;
  const uint32_t length = request.dataTransferLength;
  if (request.cdbLength == 0 || (length != 0 && data == nullptr)) {
    outcome.osError = kOsErrorInvalidParameter;
    return outcome;
  }
  uint64_t bytes = 0;
  const bool sized = LinuxDeviceSize(target.fd, bytes);
  const uint64_t sectors = bytes / kSector;

  switch (cdb[0]) {
    case 0x00:  // TEST UNIT READY
      return outcome;
    case 0x12: {  // INQUIRY, standard data only
      if (cdb[1] & 0x01) {
        CheckCondition(outcome, 0x05, 0x24);
        return outcome;
      }
      uint8_t reply[96] = {};
      reply[0] = 0x00;  // direct-access block device
      reply[2] = 0x05;
      reply[3] = 0x02;
      reply[4] = sizeof(reply) - 5;
      scsi::PutPaddedText(reply + 8, 8, "Linux");
      scsi::PutPaddedText(reply + 16, 16, target.name);
      scsi::PutPaddedText(reply + 32, 4, "1.0");
      if (request.dataIn != kScsiIoctlDataIn) {
        outcome.osError = kOsErrorInvalidParameter;
        return outcome;
      }
      std::memcpy(data, reply, std::min<size_t>({length, cdb[4], sizeof(reply)}));
      return outcome;
    }
    case 0x25: {  // READ CAPACITY(10)
      if (!sized) {
        CheckCondition(outcome, 0x02, 0x04);  // not ready
        return outcome;
      }
      if (request.dataIn != kScsiIoctlDataIn || length < 8) {
        CheckCondition(outcome, 0x05, 0x24);
        return outcome;
      }
      const uint32_t last = sectors == 0 ? 0 : static_cast<uint32_t>(std::min<uint64_t>(sectors - 1, 0xFFFFFFFF));
      const uint8_t reply[8] = {static_cast<uint8_t>(last >> 24), static_cast<uint8_t>(last >> 16),
                                static_cast<uint8_t>(last >> 8), static_cast<uint8_t>(last), 0, 0, 0x02, 0x00};
      std::memcpy(data, reply, sizeof(reply));
      return outcome;
    }
    case scsi::kOpRead10:
    case scsi::kOpWrite10: {
      const bool write = cdb[0] == scsi::kOpWrite10;
      const uint32_t lba = scsi::ReadWrite10Lba(cdb);
      const uint32_t count = scsi::ReadWrite10Count(cdb);
      if ((request.dataIn == kScsiIoctlDataIn) == write || length < count * kSector) {
        CheckCondition(outcome, 0x05, 0x24);
      } else if (!sized || uint64_t{lba} + count > sectors) {
        CheckCondition(outcome, 0x05, 0x21);
      } else if (!target.regularFile && target.directFd < 0) {
        CheckCondition(outcome, 0x05, 0x20);  // no direct access: the cache is never used instead
      } else if (!TransferSectors(target, data, count, lba, write)) {
        CheckCondition(outcome, 0x03, write ? 0x0C : 0x11);
      }
      return outcome;
    }
    default:
      CheckCondition(outcome, 0x05, 0x20);
      return outcome;
  }
}

}  // namespace dozered

#endif  // __linux__
