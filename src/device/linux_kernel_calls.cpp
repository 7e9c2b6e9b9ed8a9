// The kernel calls behind LinuxKernelCalls; everything they return is
// interpreted elsewhere.
#ifdef __linux__

#include <linux/fs.h>
#include <scsi/sg.h>
#include <scsi/sg_pt.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstring>

#include "device/linux_pass_through.h"

namespace dozered {

namespace {

class KernelCalls : public LinuxKernelCalls {
 public:
  int ScsiGenericProbe(int fd) override {
    int version = 0;
    return ioctl(fd, SG_GET_VERSION_NUM, &version) == 0 ? 0 : errno;
  }

  SgReply SendScsi(int fd, const ScsiPassThroughRequest& request) override {
    SgReply reply;
    sg_pt_base* pt = construct_scsi_pt_obj();
    if (pt == nullptr) {
      reply.result = SgResult::kNotSent;
      reply.osError = ENOMEM;
      return reply;
    }
    set_scsi_pt_cdb(pt, request.cdb, request.cdbLength);
    set_scsi_pt_sense(pt, reply.sense, sizeof(reply.sense));
    if (request.dataTransferLength != 0) {
      if (request.dataIn == kScsiIoctlDataIn) {
        set_scsi_pt_data_in(pt, request.dataBuffer, static_cast<int>(request.dataTransferLength));
      } else {
        set_scsi_pt_data_out(pt, request.dataBuffer, static_cast<int>(request.dataTransferLength));
      }
    }
    const int done = do_scsi_pt(pt, fd, static_cast<int>(request.timeOutValue), 0);
    if (done < 0) {
      reply.result = SgResult::kOsError;
      reply.osError = -done;
    } else if (done == SCSI_PT_DO_BAD_PARAMS || done == SCSI_PT_DO_NOT_SUPPORTED) {
      reply.result = SgResult::kNotSent;
      reply.osError = EINVAL;
    } else if (done != 0) {
      reply.result = SgResult::kTransportError;  // SCSI_PT_DO_TIMEOUT among them
    } else {
      switch (get_scsi_pt_result_category(pt)) {
        case SCSI_PT_RESULT_GOOD:
          reply.result = SgResult::kGood;
          break;
        case SCSI_PT_RESULT_STATUS:
          reply.result = SgResult::kStatus;
          break;
        case SCSI_PT_RESULT_SENSE:
          reply.result = SgResult::kSense;
          break;
        case SCSI_PT_RESULT_TRANSPORT_ERR:
          reply.result = SgResult::kTransportError;
          break;
        default:
          reply.result = SgResult::kOsError;
          reply.osError = get_scsi_pt_os_err(pt);
          break;
      }
      const int status = get_scsi_pt_status_response(pt);
      reply.status = status < 0 ? 0 : static_cast<uint8_t>(status);
      reply.residual = get_scsi_pt_resid(pt);
      const int senseLength = get_scsi_pt_sense_len(pt);
      reply.senseLength = senseLength < 0 ? 0 : static_cast<uint32_t>(senseLength);
    }
    destruct_scsi_pt_obj(pt);
    return reply;
  }

  int NvmeAdmin(int fd, nvme_admin_cmd& command) override {
    const int result = ioctl(fd, NVME_IOCTL_ADMIN_CMD, &command);
    return result < 0 ? -errno : result;
  }

  uint32_t NvmeNamespace(int fd, uint32_t& blockSize) override {
    blockSize = 0;
    const int nsid = ioctl(fd, NVME_IOCTL_ID);
    if (nsid <= 0) return 0;
    int size = 0;
    if (ioctl(fd, BLKSSZGET, &size) == 0 && size > 0) blockSize = static_cast<uint32_t>(size);
    return static_cast<uint32_t>(nsid);
  }

  int NvmeIo(int fd, nvme_passthru_cmd& command) override {
    const int result = ioctl(fd, NVME_IOCTL_IO_CMD, &command);
    return result < 0 ? -errno : result;
  }
};

}  // namespace

std::unique_ptr<LinuxKernelCalls> MakeLinuxKernelCalls() { return std::make_unique<KernelCalls>(); }

}  // namespace dozered

#endif  // __linux__
