#include "sim/simulated_drive.h"

#include <cstdio>

namespace dozered::sim {

SimulatedDrive::SimulatedDrive(const DriveConfig& config)
    : model_(std::make_unique<DriveModel>(config)), firmware_(*model_), host_(*model_), faults_(config.faults) {
  if (config.kind != DriveKind::kPlainDisk) protocol_ = std::make_unique<VendorProtocol>(config, firmware_);
  if (!config.traceFile.empty()) trace_ = std::make_unique<AccessTrace>(config.traceFile);
  if (!config.stateFile.empty()) {
    state_ = std::make_unique<DriveStateFile>(config.stateFile, config);
    const bool kept = state_->Open(firmware_, host_);
    stateNote_ = state_->note();
    if (kept) {
      firmware_.SetStateSink(state_.get());
      model_->ftl.SetJournal(state_.get());
    } else {
      state_.reset();
    }
    // Said where an engineer running the tool or the drive server sees it.
    if (!stateNote_.empty()) std::fprintf(stderr, "%s: %s\n", config.label.c_str(), stateNote_.c_str());
  }
}

SimulatedDrive::~SimulatedDrive() {
  if (state_) state_->Close();
  model_->ftl.SetJournal(nullptr);
  firmware_.SetStateSink(nullptr);
}

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
  AccessResult result = AccessResult::kOk;
  if (outcome == VendorProtocol::Outcome::kOrdinary) {
    if (write) {
      // Journaled whatever the outcome: a replay meets the same outcome.
      const bool stored = host_.Write(lba, count, out);
      if (state_) state_->OnHostWrite(lba, count, out);
      if (!stored) result = AccessResult::kMediumError;
    } else {
      host_.Read(lba, count, in);
    }
  }
  if (state_ && !(protocol_ && protocol_->inCommand())) {
    state_->Checkpoint();
    if (!state_->active()) ReportLostState();
  }
  if (result != AccessResult::kOk) {
    trace("fail", "no room left in the flash");
    return result;
  }
  trace("ok", note);
  return AccessResult::kOk;
}

bool SimulatedDrive::FlushCache() {
  host_.Flush();
  if (state_) {
    state_->Checkpoint();
    if (!state_->active()) ReportLostState();
  }
  return true;
}

void SimulatedDrive::ReportLostState() {
  stateNote_ = state_->note();
  std::fprintf(stderr, "%s: %s\n", config().label.c_str(), stateNote_.c_str());
  model_->ftl.SetJournal(nullptr);
  firmware_.SetStateSink(nullptr);
  state_.reset();
}

}  // namespace dozered::sim
