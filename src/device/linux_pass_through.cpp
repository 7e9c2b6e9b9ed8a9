#ifdef __linux__

#include "device/linux_pass_through.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "device/nvme_miniport_request.h"
#include "device/pass_through_checks.h"

namespace dozered {

namespace {

constexpr uint8_t kStatusGood = 0x00;
constexpr uint8_t kStatusCheckCondition = 0x02;

}  // namespace

uint32_t MapLinuxErrno(int error) {
  if (error == 0 || error == EINVAL || error == ENOTTY || error == EOPNOTSUPP || error == ENOSYS) {
    return kOsErrorInvalidParameter;
  }
  return kOsErrorIoDevice;
}

ScsiPassThroughOutcome InterpretSgReply(const ScsiPassThroughRequest& request, const SgReply& reply) {
  ScsiPassThroughOutcome outcome;
  switch (reply.result) {
    case SgResult::kNotSent:
    case SgResult::kOsError:
      outcome.osError = MapLinuxErrno(reply.osError);
      return outcome;
    case SgResult::kTransportError:
      // Timed out, aborted after a reset, or the device went away: nothing
      // is known about the data.
      outcome.osError = kOsErrorIoDevice;
      return outcome;
    case SgResult::kGood:
    case SgResult::kStatus:
    case SgResult::kSense:
      break;
  }
  outcome.scsiStatus = reply.status;
  // Sense data with a GOOD status byte still reports a condition.
  if (reply.result == SgResult::kSense && outcome.scsiStatus == kStatusGood) outcome.scsiStatus = kStatusCheckCondition;
  const size_t senseLength = std::min<size_t>(reply.senseLength, sizeof(outcome.sense));
  std::memcpy(outcome.sense, reply.sense, std::min(senseLength, sizeof(reply.sense)));
  ApplyScsiResidual(request, reply.residual > 0 ? static_cast<uint32_t>(reply.residual) : 0, outcome);
  return outcome;
}

bool LinuxNvmeAdminFromMiniport(const uint8_t* block, uint32_t inputLength, uint32_t outputLength,
                                nvme_admin_cmd& command) {
  command = nvme_admin_cmd {};
  if (block == nullptr || inputLength < kNvmeMiniportFixedLength || outputLength < kNvmeMiniportFixedLength) {
    return false;
  }
  if (ReadLe32(block + kNvmeMiniportHeaderLengthOffset) != kNvmeMiniportHeaderLength ||
      std::memcmp(block + kNvmeMiniportSignatureOffset, kNvmeMiniportSignature, sizeof(kNvmeMiniportSignature)) !=
          0 ||
      ReadLe32(block + kNvmeMiniportControlCodeOffset) != kNvmeMiniportControlCode) {
    return false;
  }
  // Admin queue only, no metadata.
  if (ReadLe32(block + kNvmeMiniportQueueIdOffset) != 0 || ReadLe32(block + kNvmeMiniportMetadataLengthOffset) != 0) {
    return false;
  }
  const uint8_t* submission = block + kNvmeMiniportSubmissionOffset;
  const uint32_t direction = NvmeOpcodeDirection(submission[0]);
  // The kernel moves the data the way the opcode says; a block that says
  // otherwise is refused rather than half obeyed.
  if (ReadLe32(block + kNvmeMiniportDirectionOffset) != direction) return false;
  const uint32_t dataLength = ReadLe32(block + kNvmeMiniportDataLengthOffset);
  const uint32_t room = direction == kNvmeDirectionHostToDevice ? inputLength : outputLength;
  if (direction == kNvmeDirectionNone ? dataLength != 0 : dataLength > room - kNvmeMiniportDataOffset) return false;

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
  command.data_len = dataLength;
  const uint32_t seconds = ReadLe32(block + kNvmeMiniportTimeoutOffset);
  command.timeout_ms = std::min(seconds == 0 ? kLinuxRequestTimeoutSeconds : seconds, kLinuxRequestTimeoutSeconds) * 1000;
  return true;
}

nvme_passthru_cmd LinuxNvmeReadWrite(uint32_t nsid, bool write, uint64_t lba, uint32_t count) {
  constexpr uint8_t kNvmeWrite = 0x01;
  constexpr uint8_t kNvmeRead = 0x02;
  nvme_passthru_cmd command {};
  command.opcode = write ? kNvmeWrite : kNvmeRead;
  command.nsid = nsid;
  command.cdw10 = static_cast<uint32_t>(lba);
  command.cdw11 = static_cast<uint32_t>(lba >> 32);
  command.cdw12 = count == 0 ? 0 : count - 1;  // 0's based number of blocks
  command.data_len = count * 512;
  command.timeout_ms = kLinuxRequestTimeoutSeconds * 1000;
  return command;
}

}  // namespace dozered

#endif  // __linux__
