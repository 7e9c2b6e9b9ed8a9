// The answers of a disk that takes no SCSI pass-through (a loop or network
// block device, an image file): READ(10) and WRITE(10) become positioned
// reads and writes of whole sectors, INQUIRY and READ CAPACITY(10) are
// answered from the device's size.
//
// A transfer that fails, fails: a block device is read and written only
// with direct I/O (O_DIRECT), never through the page cache, where a write
// the device refuses (a full backing store, a read-only disk) "succeeds"
// and is lost later. An image file is accessed through the cache and made
// durable (fdatasync) before a write counts as done.
#pragma once

#ifdef __linux__

#include <cstdint>
#include <string>

#include "device/storage_platform.h"

namespace dozered {

// Size in bytes of a block device or regular file; false when unknown.
bool LinuxDeviceSize(int fd, uint64_t& bytes);

struct PlainIoTarget {
  int fd = -1;               // the device or file as opened for reading: its size, an image file's reads
  int writeFd = -1;          // an image file opened for writing; -1 when it cannot be written
  int directFd = -1;         // block device opened with O_DIRECT for the request's direction; -1 when
                             // direct I/O is not possible
  bool regularFile = false;  // an image file
  std::string name;          // the product text of INQUIRY
};

// Answers `request` on `target`. A sector transfer on a block device without
// direct I/O fails (ILLEGAL REQUEST) without touching the device.
ScsiPassThroughOutcome AnswerScsiWithPlainIo(const PlainIoTarget& target, const ScsiPassThroughRequest& request);

}  // namespace dozered

#endif  // __linux__
