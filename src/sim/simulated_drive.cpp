#include "sim/simulated_drive.h"

namespace dozered::sim {

SimulatedDrive::SimulatedDrive(const DriveConfig& config)
    : model_(std::make_unique<DriveModel>(config)), firmware_(*model_), faults_(config.faults) {
  if (config.kind != DriveKind::kPlainDisk) protocol_ = std::make_unique<VendorProtocol>(config, firmware_);
  if (!config.traceFile.empty()) trace_ = std::make_unique<AccessTrace>(config.traceFile);
  if (!config.stateFile.empty()) {
    state_ = std::make_unique<DriveStateFile>(config.stateFile, DriveStateFile::Fingerprint(config));
    state_->Restore(firmware_, userData_);
    firmware_.SetStateSink(state_.get());
  }
}

SimulatedDrive::~SimulatedDrive() = default;

SimulatedDrive::AccessResult SimulatedDrive::ReadSectors(uint64_t lba, uint32_t count, uint8_t* buffer) {
  return Access(lba, count, buffer, nullptr);
}

SimulatedDrive::AccessResult SimulatedDrive::WriteSectors(uint64_t lba, uint32_t count, const uint8_t* buffer) {
  return Access(lba, count, nullptr, buffer);
}

SimulatedDrive::AccessResult SimulatedDrive::Access(uint64_t lba, uint32_t count, uint8_t* in, const uint8_t* out) {
  const bool write = out != nullptr;
  const FaultInjector::Verdict verdict = faults_.OnSectorAccess(write, lba, count);
  const uint64_t number = faults_.accesses();
  auto trace = [&](const char* result, const std::string& note) {
    if (trace_) trace_->Record(number, write, lba, count, result, note);
  };
  if (verdict == FaultInjector::Verdict::kGone) {
    trace("gone", "");
    return AccessResult::kGone;
  }
  if (verdict == FaultInjector::Verdict::kMediumError) {
    trace("fail", "injected fault");
    return AccessResult::kMediumError;
  }
  if (lba + count > capacity()) {
    trace("fail", "beyond capacity");
    return AccessResult::kOutOfRange;
  }
  VendorProtocol::Outcome outcome = VendorProtocol::Outcome::kOrdinary;
  if (protocol_) outcome = write ? protocol_->OnWrite(lba, count, out) : protocol_->OnRead(lba, count, in);
  const std::string note = protocol_ ? protocol_->lastNote() : std::string();
  if (outcome == VendorProtocol::Outcome::kFailed) {
    trace("fail", note);
    return AccessResult::kMediumError;
  }
  if (outcome == VendorProtocol::Outcome::kOrdinary) {
    if (write) {
      userData_.Write(lba, count, out);
      if (state_) state_->OnUserWrite(lba, count, out);
      model_->counters.hostSectorsWritten += count;
    } else {
      userData_.Read(lba, count, in);
      model_->counters.hostSectorsRead += count;
    }
  }
  trace("ok", note);
  return AccessResult::kOk;
}

}  // namespace dozered::sim
