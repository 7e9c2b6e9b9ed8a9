// A drive wrapper for tests: forwards every SCSI command to the drive behind
// it and keeps a log of the sector reads and writes, from which the vendor
// commands the tool sent can be read back. It can also fail chosen writes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "device/scsi_cdb.h"
#include "device/virtual_drive.h"

namespace dozered::testing {

struct WireAccess {
  bool write = false;
  uint32_t lba = 0;
  uint32_t count = 0;
  std::vector<uint8_t> firstSector;  // the data of the first sector written
  bool failed = false;
};

// A vendor command found in the log: the command block and the size of the
// data phase that followed it.
struct VendorCommand {
  std::vector<uint8_t> block;
  uint32_t dataSectors = 0;
  bool dataFailed = false;
  uint8_t opcode() const { return block[1]; }
  uint32_t LittleEndianAt(size_t offset) const {
    return block[offset] | block[offset + 1] << 8 | block[offset + 2] << 16 |
           static_cast<uint32_t>(block[offset + 3]) << 24;
  }
};

class WireRecorder : public VirtualDrive {
 public:
  explicit WireRecorder(std::shared_ptr<VirtualDrive> inner) : inner_(std::move(inner)) {}

  // Called for each data-out phase of a vendor command (the command block and
  // the access); true fails that write.
  std::function<bool(const std::vector<uint8_t>& block, const WireAccess& access)> failDataOut;

  bool ExecuteScsi(ScsiCommand& command, ScsiOutcome& outcome) override {
    const uint8_t op = command.cdb[0];
    if (op != scsi::kOpRead10 && op != scsi::kOpWrite10) return inner_->ExecuteScsi(command, outcome);
    WireAccess access;
    access.write = op == scsi::kOpWrite10;
    access.lba = scsi::ReadWrite10Lba(command.cdb);
    access.count = scsi::ReadWrite10Count(command.cdb);
    if (access.write && command.data != nullptr && command.length >= 512) {
      access.firstSector.assign(command.data, command.data + 512);
    }
    if (access.write && failDataOut && !pendingBlock_.empty() &&
        failDataOut(pendingBlock_, access)) {
      access.failed = true;
      log_.push_back(access);
      pendingBlock_.clear();
      outcome.status = kScsiStatusCheckCondition;
      outcome.sense[0] = 0x70;
      outcome.sense[2] = 0x03;  // medium error
      outcome.senseLength = 18;
      return true;
    }
    pendingBlock_ = IsCommandBlockWrite(access) ? access.firstSector : std::vector<uint8_t>();
    log_.push_back(access);
    return inner_->ExecuteScsi(command, outcome);
  }
  bool ExecuteAta(AtaCommand& command) override { return inner_->ExecuteAta(command); }
  bool ExecuteNvmeAdmin(NvmeAdminCommand& command) override {
    return inner_->ExecuteNvmeAdmin(command);
  }

  const std::vector<WireAccess>& Log() const { return log_; }
  void ClearLog() { log_.clear(); }

  // The vendor commands in the log: a one-sector write right after the five
  // unlock reads, with the access after it as the data phase when that is a
  // data transfer at the command address or at 0x55AA.
  std::vector<VendorCommand> Commands() const {
    std::vector<VendorCommand> commands;
    for (size_t i = 0; i < log_.size(); ++i) {
      if (!IsCommandBlockWrite(log_, i)) continue;
      VendorCommand command;
      command.block = log_[i].firstSector;
      if (i + 1 < log_.size()) {
        const WireAccess& next = log_[i + 1];
        const bool dataOut = command.block[0] == 0xF1 || command.opcode() == 0x2B;
        if (next.write == dataOut && (next.lba == log_[i].lba || next.lba == 0x55AA)) {
          command.dataSectors = next.count;
          command.dataFailed = next.failed;
        }
      }
      commands.push_back(command);
    }
    return commands;
  }

  // How many unlock sequences the drive saw (reads of LBA 0xAA).
  int UnlockCount() const {
    int n = 0;
    for (const WireAccess& a : log_) n += !a.write && a.lba == 0xAA;
    return n;
  }

 private:
  bool IsCommandBlockWrite(const WireAccess& access) const {
    return IsCommandBlockWrite(log_, log_.size(), &access);
  }
  static bool IsCommandBlockWrite(const std::vector<WireAccess>& log, size_t index,
                                  const WireAccess* candidate = nullptr) {
    const WireAccess& a = candidate ? *candidate : log[index];
    if (!a.write || a.count != 1 || a.firstSector.size() < 2) return false;
    if (a.firstSector[0] != 0xF0 && a.firstSector[0] != 0xF1) return false;
    static constexpr uint32_t kUnlock[] = {0xAA, 0xAA00, 0x55, 0x5500, 0x55AA};
    if (index < 5) return false;
    for (size_t k = 0; k < 5; ++k) {
      const WireAccess& r = log[index - 5 + k];
      if (r.write || r.lba != kUnlock[k]) return false;
    }
    return true;
  }

  std::shared_ptr<VirtualDrive> inner_;
  std::vector<WireAccess> log_;
  std::vector<uint8_t> pendingBlock_;
};

}  // namespace dozered::testing
