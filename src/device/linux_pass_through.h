// The kernel calls the Linux platform makes on an open device (SG_IO, the
// SG_IO probe, the NVMe admin ioctl), behind one small interface so that
// tests can stand in for a kernel with SCSI, ATA and NVMe drivers; and what
// their replies mean, as functions of the reply alone.
#pragma once

#ifdef __linux__

#include <linux/nvme_ioctl.h>

#include <cerrno>
#include <cstdint>
#include <memory>

#include "device/storage_platform.h"

namespace dozered {

// The longest a single request may take before it counts as failed: a hung
// drive holds the window for a minute, not for hours.
inline constexpr uint32_t kLinuxRequestTimeoutSeconds = 60;

// How a SCSI command sent with SG_IO came back, in the result categories of
// sg3_utils' pass-through layer.
enum class SgResult {
  kGood,            // GOOD status
  kStatus,          // another status than GOOD or CHECK CONDITION
  kSense,           // CHECK CONDITION (or sense data with it)
  kTransportError,  // the host or driver failed it: timed out, aborted, device gone
  kOsError,         // the ioctl failed with `osError`
  kNotSent,         // refused before it reached the kernel
};

struct SgReply {
  SgResult result = SgResult::kGood;
  int osError = 0;        // errno for kOsError and kNotSent
  uint8_t status = 0;     // SCSI status byte
  int32_t residual = 0;   // bytes of the data length not transferred
  uint8_t sense[32] = {};
  uint32_t senseLength = 0;
};

class LinuxKernelCalls {
 public:
  virtual ~LinuxKernelCalls() = default;
  // 0 when the device behind `fd` takes SCSI commands through SG_IO (it
  // answers SG_GET_VERSION_NUM); otherwise the errno of that ioctl.
  virtual int ScsiGenericProbe(int fd) = 0;
  // One SCSI command through SG_IO, with a sense buffer of 32 bytes.
  virtual SgReply SendScsi(int fd, const ScsiPassThroughRequest& request) = 0;
  // NVME_IOCTL_ADMIN_CMD: 0 done, above 0 the NVMe status of a failed
  // command, below 0 the negated errno.
  virtual int NvmeAdmin(int fd, nvme_admin_cmd& command) = 0;
  // NVME_IOCTL_ID: the namespace id when `fd` is an NVMe namespace (and its
  // logical block size in `blockSize`), 0 otherwise.
  virtual uint32_t NvmeNamespace(int fd, uint32_t& blockSize) {
    (void)fd;
    blockSize = 0;
    return 0;
  }
  // NVME_IOCTL_IO_CMD: one NVMe I/O command on the namespace behind `fd`;
  // returns as NvmeAdmin does.
  virtual int NvmeIo(int fd, nvme_passthru_cmd& command) {
    (void)fd;
    (void)command;
    return -ENOTTY;
  }
};

// The kernel itself: sg3_utils' pass-through layer and ioctl(2).
std::unique_ptr<LinuxKernelCalls> MakeLinuxKernelCalls();

// The outcome of a SCSI request from its SG_IO reply: failed calls and
// transport errors (a timed-out request among them) are failures of the
// call; status and sense as returned; a transfer cut short fails.
ScsiPassThroughOutcome InterpretSgReply(const ScsiPassThroughRequest& request, const SgReply& reply);

// The platform's error code for an errno: requests the kernel rejects as
// invalid (EINVAL, ENOTTY, EOPNOTSUPP, ENOSYS) are "invalid parameter",
// everything else an I/O failure.
uint32_t MapLinuxErrno(int error);

// The NVMe admin command of an NVMe miniport request block (header,
// submission entry, data length, timeout), checked against the block's own
// lengths. The data address is left for the caller; the timeout is bounded
// by kLinuxRequestTimeoutSeconds. False when the block is not a well-formed
// NVMe request.
bool LinuxNvmeAdminFromMiniport(const uint8_t* block, uint32_t inputLength, uint32_t outputLength,
                                nvme_admin_cmd& command);

// The NVMe Read (or Write) of `count` 512-byte blocks (1 to 65536) from
// `lba` on namespace `nsid`, with the bounded timeout. The data address is
// left for the caller.
nvme_passthru_cmd LinuxNvmeReadWrite(uint32_t nsid, bool write, uint64_t lba, uint32_t count);

}  // namespace dozered

#endif  // __linux__
