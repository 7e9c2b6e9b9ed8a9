#include "support/recording_drive.h"

#include "device/scsi_cdb.h"

namespace dozered::testing {
namespace {

constexpr uint8_t kAtaReadDma = 0xC8;
constexpr uint8_t kAtaWriteDma = 0xCA;

void MediumError(ScsiOutcome& outcome) {
  outcome = ScsiOutcome{};
  outcome.status = kScsiStatusCheckCondition;
  // MEDIUM ERROR, unrecovered read error
  outcome.senseLength = scsi::FillFixedSense(outcome.sense, sizeof(outcome.sense), 0x03, 0x11);
}

}  // namespace

void RecordingDrive::FailAccess(int index, FaultKind kind) { failIndexes_[index] = kind; }

void RecordingDrive::FailLba(uint32_t lba, bool writesOnly, FaultKind kind) {
  failLbas_[lba] = LbaFault{writesOnly, kind};
}

void RecordingDrive::FailFrom(int index, FaultKind kind, bool writesOnly) {
  failFrom_ = FromFault{index, kind, writesOnly};
}

void RecordingDrive::ClearFaults() {
  failIndexes_.clear();
  failLbas_.clear();
  failFrom_.reset();
}

std::optional<FaultKind> RecordingDrive::Log(uint32_t lba, uint32_t count, bool write,
                                             const uint8_t* data) {
  SectorAccess access;
  access.lba = lba;
  access.count = count;
  access.write = write;
  if (write && data != nullptr) access.data.assign(data, data + static_cast<size_t>(count) * 512);

  std::optional<FaultKind> fault;
  const auto byIndex = failIndexes_.find(static_cast<int>(accesses_.size()));
  if (byIndex != failIndexes_.end()) fault = byIndex->second;
  if (failFrom_ && static_cast<int>(accesses_.size()) >= failFrom_->index &&
      (write || !failFrom_->writesOnly)) {
    fault = failFrom_->kind;
  }
  for (const auto& [at, f] : failLbas_) {
    if (at >= lba && at - lba < count && (write || !f.writesOnly)) fault = f.kind;
  }
  access.failed = fault.has_value();
  accesses_.push_back(std::move(access));
  return fault;
}

bool RecordingDrive::ExecuteScsi(ScsiCommand& command, ScsiOutcome& outcome) {
  const uint8_t op = command.cdb[0];
  if (op != scsi::kOpRead10 && op != scsi::kOpWrite10) return inner_->ExecuteScsi(command, outcome);
  const uint32_t lba = scsi::ReadWrite10Lba(command.cdb);
  const uint32_t count = scsi::ReadWrite10Count(command.cdb);
  const auto fault = Log(lba, count, op == scsi::kOpWrite10, command.data);
  if (!fault) return inner_->ExecuteScsi(command, outcome);
  if (*fault == FaultKind::kLost) inner_->ExecuteScsi(command, outcome);
  MediumError(outcome);
  return true;
}

bool RecordingDrive::ExecuteAta(AtaCommand& command) {
  const uint8_t op = command.current.command;
  if (op != kAtaReadDma && op != kAtaWriteDma) return inner_->ExecuteAta(command);
  const AtaTaskFile& t = command.current;
  const uint32_t lba = t.lbaLow | (uint32_t{t.lbaMid} << 8) | (uint32_t{t.lbaHigh} << 16) |
                       (uint32_t{t.device & 0x0Fu} << 24);
  const uint32_t count = t.sectorCount == 0 ? 256 : t.sectorCount;
  const auto fault = Log(lba, count, op == kAtaWriteDma, command.data);
  if (!fault) return inner_->ExecuteAta(command);
  if (*fault == FaultKind::kLost) inner_->ExecuteAta(command);
  return false;
}

}  // namespace dozered::testing
