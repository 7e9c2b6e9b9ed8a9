// A drive wrapper for the tests: passes every request to the drive it wraps,
// except that the data phase of one chosen vendor command fails with a medium
// error (SCSI transport only).
#pragma once

#include <cstdint>
#include <memory>

#include "device/scsi_cdb.h"
#include "device/virtual_drive.h"

namespace dozered {

class CommandFaultDrive : public VirtualDrive {
 public:
  static constexpr uint32_t kCommandLba = 0x55AA;

  explicit CommandFaultDrive(std::shared_ptr<VirtualDrive> inner) : inner_(std::move(inner)) {}

  // The data-in phase of every command with this opcode fails, once the
  // first `after` of them have passed; -1: none.
  void FailDataPhaseOf(int opcode, int after = 0) {
    failOpcode_ = opcode;
    pass_ = after;
  }
  int FailedDataPhases() const { return failed_; }

  bool ExecuteScsi(ScsiCommand& command, ScsiOutcome& outcome) override {
    const uint8_t op = command.cdb[0];
    const uint32_t lba = scsi::ReadWrite10Lba(command.cdb);
    if (op == scsi::kOpWrite10 && lba == kCommandLba && command.data != nullptr && command.length >= 2 &&
        (command.data[0] == 0xF0 || command.data[0] == 0xF1)) {
      armed_ = command.data[0] == 0xF0 && command.data[1] == failOpcode_;
      if (armed_ && pass_ > 0) {
        --pass_;
        armed_ = false;
      }
    } else if (op == scsi::kOpRead10 && lba == kCommandLba && armed_) {
      armed_ = false;
      ++failed_;
      outcome.status = kScsiStatusCheckCondition;
      // medium error, unrecovered read error
      outcome.senseLength = scsi::FillFixedSense(outcome.sense, sizeof(outcome.sense), 0x03, 0x11);
      return true;
    }
    return inner_->ExecuteScsi(command, outcome);
  }
  bool ExecuteAta(AtaCommand& command) override { return inner_->ExecuteAta(command); }
  bool ExecuteNvmeAdmin(NvmeAdminCommand& command) override { return inner_->ExecuteNvmeAdmin(command); }

 private:
  std::shared_ptr<VirtualDrive> inner_;
  int failOpcode_ = -1;
  int pass_ = 0;
  bool armed_ = false;
  int failed_ = 0;
};

}  // namespace dozered
