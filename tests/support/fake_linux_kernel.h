// A stand-in for a Linux kernel with SCSI, libata and NVMe drivers, for the
// Linux platform's tests on machines without them: SG_IO requests reach a
// VirtualDrive as the SCSI disk would see them, ATA PASS-THROUGH(16) CDBs
// are translated as a strict SCSI/ATA bridge does (it checks the length the
// count field declares against the transfer, and returns the ATA status in
// a descriptor), NVMe admin commands go to the drive's NVMe side. Every
// request is recorded with the device path and the access mode of the
// descriptor it came through.
#pragma once

#ifdef __linux__

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "device/linux_pass_through.h"
#include "device/virtual_drive.h"

namespace dozered::testing {

struct FakeKernelRequest {
  std::string path;
  bool writable = false;  // sent through a descriptor opened for writing
  std::vector<uint8_t> cdb;
  uint32_t length = 0;
  bool dataIn = false;
  uint32_t timeoutSeconds = 0;
};

struct FakeNvmeRequest {
  std::string path;
  bool writable = false;
  nvme_admin_cmd command {};
};

// An NVMe namespace whose sectors are its node's file: NVMe Read and Write
// reach the file, one command at a time as the kernel sends them.
struct FakeNvmeNamespace {
  uint32_t nsid = 1;
  uint32_t blockSize = 512;
  // Statuses given instead of doing the command, one per command, first
  // first (0: done as usual).
  std::vector<int> injected;
};

// What the test sees and steers; the platform owns the calls object.
struct FakeKernelState {
  // SCSI devices (SG_IO) by path; a device that is not listed answers the
  // SG_IO probe with `probeError`.
  std::map<std::string, std::shared_ptr<VirtualDrive>> scsiDevices;
  // NVMe namespaces and controllers by path, for the admin ioctl.
  std::map<std::string, std::shared_ptr<VirtualDrive>> nvmeDevices;
  int probeError = ENOTTY;
  std::vector<FakeKernelRequest> scsi;
  std::vector<FakeNvmeRequest> nvme;
  // NVMe namespaces (NVME_IOCTL_ID, NVME_IOCTL_IO_CMD) by path.
  std::map<std::string, FakeNvmeNamespace> nvmeNamespaces;
  std::vector<FakeNvmeRequest> nvmeIo;
  // Replies given instead of the drive's, one per request, first first.
  std::vector<SgReply> injected;
  // The errno a descriptor opened read-only gets for every request (EPERM
  // for a user without CAP_SYS_RAWIO); 0 none.
  int readOnlyDescriptorError = 0;
};

inline std::string PathOfDescriptor(int fd) {
  char link[64];
  std::snprintf(link, sizeof(link), "/proc/self/fd/%d", fd);
  char target[4096] = {};
  const ssize_t n = readlink(link, target, sizeof(target) - 1);
  return n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string();
}

inline bool DescriptorWritable(int fd) { return (fcntl(fd, F_GETFL) & O_ACCMODE) != O_RDONLY; }

class FakeLinuxKernel : public LinuxKernelCalls {
 public:
  explicit FakeLinuxKernel(std::shared_ptr<FakeKernelState> state) : state_(std::move(state)) {}

  int ScsiGenericProbe(int fd) override {
    return state_->scsiDevices.count(PathOfDescriptor(fd)) != 0 ? 0 : state_->probeError;
  }

  SgReply SendScsi(int fd, const ScsiPassThroughRequest& request) override {
    FakeKernelRequest sent;
    sent.path = PathOfDescriptor(fd);
    sent.writable = DescriptorWritable(fd);
    sent.cdb.assign(request.cdb, request.cdb + request.cdbLength);
    sent.length = request.dataTransferLength;
    sent.dataIn = request.dataIn == kScsiIoctlDataIn;
    sent.timeoutSeconds = request.timeOutValue;
    state_->scsi.push_back(sent);
    SgReply reply;
    if (!sent.writable && state_->readOnlyDescriptorError != 0) {
      reply.result = SgResult::kOsError;
      reply.osError = state_->readOnlyDescriptorError;
      return reply;
    }
    if (!state_->injected.empty()) {
      reply = state_->injected.front();
      state_->injected.erase(state_->injected.begin());
      return reply;
    }
    const auto device = state_->scsiDevices.find(sent.path);
    if (device == state_->scsiDevices.end()) {
      reply.result = SgResult::kOsError;
      reply.osError = ENOTTY;
      return reply;
    }
    if (request.cdb[0] == 0x85) return AtaPassThrough(*device->second, request);
    ScsiCommand command;
    std::memcpy(command.cdb, request.cdb, request.cdbLength);
    command.cdbLength = request.cdbLength;
    command.dataIn = sent.dataIn;
    command.data = request.dataBuffer;
    command.length = request.dataTransferLength;
    ScsiOutcome outcome;
    if (!device->second->ExecuteScsi(command, outcome)) {
      reply.result = SgResult::kTransportError;
      return reply;
    }
    reply.status = outcome.status;
    reply.result = outcome.status == 0 ? SgResult::kGood
                                       : (outcome.status == 0x02 ? SgResult::kSense : SgResult::kStatus);
    std::memcpy(reply.sense, outcome.sense, sizeof(reply.sense));
    reply.senseLength = outcome.senseLength;
    return reply;
  }

  int NvmeAdmin(int fd, nvme_admin_cmd& command) override {
    state_->nvme.push_back({PathOfDescriptor(fd), DescriptorWritable(fd), command});
    const auto device = state_->nvmeDevices.find(PathOfDescriptor(fd));
    if (device == state_->nvmeDevices.end()) return -ENOTTY;
    NvmeAdminCommand admin;
    admin.submission[0] = command.opcode;
    admin.submission[1] = command.flags;
    std::memcpy(admin.submission + 4, &command.nsid, 4);
    std::memcpy(admin.submission + 40, &command.cdw10, 4);
    admin.data = reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(command.addr));
    admin.length = command.data_len;
    if (!device->second->ExecuteNvmeAdmin(admin)) return 0x4002;  // an NVMe status: invalid field
    std::memcpy(&command.result, admin.completion, 4);
    return 0;
  }

  uint32_t NvmeNamespace(int fd, uint32_t& blockSize) override {
    const auto found = state_->nvmeNamespaces.find(PathOfDescriptor(fd));
    blockSize = found == state_->nvmeNamespaces.end() ? 0 : found->second.blockSize;
    return found == state_->nvmeNamespaces.end() ? 0 : found->second.nsid;
  }

  int NvmeIo(int fd, nvme_passthru_cmd& command) override {
    const std::string path = PathOfDescriptor(fd);
    state_->nvmeIo.push_back({path, DescriptorWritable(fd), command});
    const auto found = state_->nvmeNamespaces.find(path);
    if (found == state_->nvmeNamespaces.end()) return -ENOTTY;
    FakeNvmeNamespace& ns = found->second;
    if (!ns.injected.empty()) {
      const int status = ns.injected.front();
      ns.injected.erase(ns.injected.begin());
      if (status != 0) return status;
    }
    const bool write = command.opcode == 0x01;
    if ((command.opcode != 0x01 && command.opcode != 0x02) || command.nsid != ns.nsid) return 0x4002;
    if (write && !DescriptorWritable(fd)) return -EBADF;
    const uint64_t lba = (uint64_t{command.cdw11} << 32) | command.cdw10;
    const size_t length = (size_t{command.cdw12 & 0xFFFF} + 1) * 512;
    if (length != command.data_len) return 0x4002;
    auto* data = reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(command.addr));
    const ssize_t n = write ? pwrite(fd, data, length, static_cast<off_t>(lba * 512))
                            : pread(fd, data, length, static_cast<off_t>(lba * 512));
    return n == static_cast<ssize_t>(length) ? 0 : 0x0281;  // unrecovered read error
  }

 private:
  // A strict bridge: the count field (T_LENGTH 2, BYT_BLOK 1) must declare
  // exactly the blocks transferred. Failed commands come back as libata
  // returns them: CHECK CONDITION, ABORTED COMMAND, and the ATA registers in
  // an ATA Status Return descriptor.
  static SgReply AtaPassThrough(VirtualDrive& drive, const ScsiPassThroughRequest& request) {
    SgReply reply;
    const uint8_t* cdb = request.cdb;
    const uint8_t protocol = (cdb[1] >> 1) & 0x0F;
    const bool hasData = (cdb[2] & 0x03) != 0;
    if (hasData && ((cdb[2] & 0x03) != 2 || (cdb[2] & 0x04) == 0 || cdb[6] * 512u != request.dataTransferLength)) {
      return CheckCondition(0x05, 0x24, 0x00);  // ILLEGAL REQUEST: invalid field in CDB
    }
    AtaCommand command;
    const bool dataIn = (cdb[2] & 0x08) != 0;
    command.ataFlags = static_cast<uint16_t>(0x01 | (hasData ? (dataIn ? 0x02 : 0x04) : 0) | (protocol == 6 ? 0x10 : 0));
    command.current.features = cdb[4];
    command.current.sectorCount = cdb[6];
    command.current.lbaLow = cdb[8];
    command.current.lbaMid = cdb[10];
    command.current.lbaHigh = cdb[12];
    command.current.device = cdb[13];
    command.current.command = cdb[14];
    command.data = request.dataBuffer;
    command.length = request.dataTransferLength;
    if (!drive.ExecuteAta(command)) {
      reply = CheckCondition(0x0B, 0x00, 0x00);
      const uint8_t descriptor[14] = {0x09, 0x0C, 0, 0x04, 0, 0, 0, 0, 0, 0, 0, 0, 0xE0, 0x51};
      reply.sense[0] = 0x72;
      reply.sense[7] = sizeof(descriptor);
      std::memcpy(reply.sense + 8, descriptor, sizeof(descriptor));
      reply.senseLength = 8 + sizeof(descriptor);
      return reply;
    }
    return reply;
  }

  static SgReply CheckCondition(uint8_t key, uint8_t asc, uint8_t ascq) {
    SgReply reply;
    reply.result = SgResult::kSense;
    reply.status = 0x02;
    reply.sense[0] = 0x72;
    reply.sense[1] = key;
    reply.sense[2] = asc;
    reply.sense[3] = ascq;
    reply.senseLength = 8;
    return reply;
  }

  std::shared_ptr<FakeKernelState> state_;
};

}  // namespace dozered::testing

#endif  // __linux__
