// The answers of a disk that takes no SCSI pass-through (a loop or network
// block device, an image file): READ(10) and WRITE(10) become positioned
// reads and writes of whole sectors, INQUIRY and READ CAPACITY(10) are
// answered from the device's size.
#pragma once

#ifdef __linux__

#include <cstdint>
#include <string>

#include "device/storage_platform.h"

namespace dozered {

// Size in bytes of a block device or regular file; false when unknown.
bool LinuxDeviceSize(int fd, uint64_t& bytes);

// Answers `request` on `fd`. Sector transfers use `directFd` (opened with
// O_DIRECT, so that every access reaches the device) when it is not -1.
// `name` becomes the product text of INQUIRY.
ScsiPassThroughOutcome AnswerScsiWithPlainIo(int fd, int directFd, const std::string& name,
                                             const ScsiPassThroughRequest& request);

}  // namespace dozered

#endif  // __linux__
