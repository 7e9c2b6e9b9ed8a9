// A drive wrapper for the tests: passes every request to the drive it wraps,
// except that the data phase of one chosen vendor command fails with a medium
// error (SCSI transport only).
#pragma once

#include <cstdint>
#include <memory>

#include "device/virtual_drive.h"

namespace dozered {

class CommandFaultDrive : public VirtualDrive {
 public:
  static constexpr uint32_t kCommandLba = 0x55AA;

  explicit CommandFaultDrive(std::shared_ptr<VirtualDrive> inner) : inner_(std::move(inner)) {}

  // The data-in phase of every command with this opcode fails; -1: none.
  void FailDataPhaseOf(int opcode) { failOpcode_ = opcode; }
  int FailedDataPhases() const { return failed_; }

  bool ExecuteScsi(ScsiCommand& command, ScsiOutcome& outcome) override {
    const uint8_t op = command.cdb[0];
    const uint32_t lba = static_cast<uint32_t>(command.cdb[2]) << 24 | static_cast<uint32_t>(command.cdb[3]) << 16 |
                         static_cast<uint32_t>(command.cdb[4]) << 8 | command.cdb[5];
    if (op == 0x2A && lba == kCommandLba && command.data != nullptr && command.length >= 2 &&
        (command.data[0] == 0xF0 || command.data[0] == 0xF1)) {
      armed_ = command.data[0] == 0xF0 && command.data[1] == failOpcode_;
    } else if (op == 0x28 && lba == kCommandLba && armed_) {
      armed_ = false;
      ++failed_;
      outcome.status = kScsiStatusCheckCondition;
      outcome.sense[0] = 0x70;
      outcome.sense[2] = 0x03;  // medium error
      outcome.sense[7] = 10;
      outcome.sense[12] = 0x11;  // unrecovered read error
      outcome.senseLength = 18;
      return true;
    }
    return inner_->ExecuteScsi(command, outcome);
  }
  bool ExecuteAta(AtaCommand& command) override { return inner_->ExecuteAta(command); }
  bool ExecuteNvmeAdmin(NvmeAdminCommand& command) override { return inner_->ExecuteNvmeAdmin(command); }

 private:
  std::shared_ptr<VirtualDrive> inner_;
  int failOpcode_ = -1;
  bool armed_ = false;
  int failed_ = 0;
};

}  // namespace dozered
