#include "device/pass_through_checks.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace dozered {

namespace {

constexpr uint8_t kScsiStatusGoodByte = 0x00;

// Commands whose data length is an allocation length.
constexpr uint8_t kAllocationLengthOpcodes[] = {
    0x03,  // REQUEST SENSE
    0x12,  // INQUIRY
    0x1A,  // MODE SENSE(6)
    0x4D,  // LOG SENSE
    0x5A,  // MODE SENSE(10)
    0xA0,  // REPORT LUNS
};

}  // namespace

bool AtaStatusReportsFailure(uint8_t status) {
  return (status & (kAtaStatusError | kAtaStatusDataRequest | kAtaStatusDeviceFault | kAtaStatusBusy)) != 0;
}

bool ScsiMayTransferLess(const uint8_t* cdb, uint8_t cdbLength) {
  if (cdb == nullptr || cdbLength == 0) return false;
  return std::find(std::begin(kAllocationLengthOpcodes), std::end(kAllocationLengthOpcodes), cdb[0]) !=
         std::end(kAllocationLengthOpcodes);
}

void ApplyScsiResidual(const ScsiPassThroughRequest& request, uint32_t residual, ScsiPassThroughOutcome& outcome) {
  if (outcome.osError != kOsErrorNone || outcome.scsiStatus != kScsiStatusGoodByte) return;
  if (residual == 0 || request.dataTransferLength == 0) return;
  const bool allowed = request.dataIn == kScsiIoctlDataIn && ScsiMayTransferLess(request.cdb, request.cdbLength) &&
                       residual <= request.dataTransferLength;
  if (!allowed) outcome.osError = kOsErrorIoDevice;
}

AlignedTransferBuffer::AlignedTransferBuffer(uint8_t* callerData, uint32_t length, bool dataIn, size_t alignment)
    : caller_(callerData), length_(length), dataIn_(dataIn) {
  if (length == 0 || callerData == nullptr) return;
  if (alignment == 0) alignment = 1;
  storage_.resize(length + alignment - 1);
  const auto address = reinterpret_cast<uintptr_t>(storage_.data());
  aligned_ = storage_.data() + ((alignment - (address & (alignment - 1))) & (alignment - 1));
  if (!dataIn) std::memcpy(aligned_, callerData, length);
}

void AlignedTransferBuffer::CopyBack(uint32_t bytes) {
  if (!dataIn_ || aligned_ == nullptr) return;
  std::memcpy(caller_, aligned_, std::min(bytes, length_));
}

ScsiPassThroughOutcome RunScsiPassThrough(const ScsiPassThroughRequest& request, size_t alignment,
                                          const ScsiPassThroughCall& call) {
  const bool dataIn = request.dataIn == kScsiIoctlDataIn;
  AlignedTransferBuffer buffer(request.dataBuffer, request.dataTransferLength, dataIn, alignment);
  ScsiPassThroughRequest aligned = request;
  aligned.dataBuffer = buffer.data();
  uint32_t transferred = request.dataTransferLength;
  ScsiPassThroughOutcome outcome = call(aligned, transferred);
  const uint32_t residual = transferred < request.dataTransferLength ? request.dataTransferLength - transferred : 0;
  ApplyScsiResidual(request, residual, outcome);
  if (outcome.osError == kOsErrorNone && outcome.scsiStatus == kScsiStatusGoodByte) {
    buffer.CopyBack(request.dataTransferLength - residual);
  }
  return outcome;
}

bool RunAtaPassThrough(AtaPassThroughRequest& request, const AtaPassThroughCall& call) {
  if (!call(request)) return false;
  return !AtaStatusReportsFailure(request.currentTaskFile.command);
}

}  // namespace dozered
