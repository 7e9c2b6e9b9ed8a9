// What a pass-through call's reply must show before its request counts as
// done, apart from the operating system call itself: the data transfer was
// complete, the ATA status register shows no error, and the data went
// through a buffer aligned for the adapter. Every platform uses these; the
// operating system's call is handed in, so the rules run (and are tested)
// anywhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "device/storage_platform.h"

namespace dozered {

// ATA status register bits.
inline constexpr uint8_t kAtaStatusError = 0x01;        // ERR
inline constexpr uint8_t kAtaStatusDataRequest = 0x08;  // DRQ
inline constexpr uint8_t kAtaStatusDeviceFault = 0x20;  // DF
inline constexpr uint8_t kAtaStatusBusy = 0x80;         // BSY

// True when the status register returned after an ATA command says that the
// command did not complete: ERR or DF set, DRQ still set (data left), or BSY
// still set (the other bits mean nothing then).
bool AtaStatusReportsFailure(uint8_t status);

// Whether a SCSI command may move fewer bytes than its data length without
// failing: only those whose length is an allocation length (INQUIRY, MODE
// SENSE, ...), which a device may fill in part.
bool ScsiMayTransferLess(const uint8_t* cdb, uint8_t cdbLength);

// A request that completed with good status but left `residual` bytes of
// its data untransferred failed: a short READ leaves zeros that are not the
// drive's data, a short WRITE did not write everything.
void ApplyScsiResidual(const ScsiPassThroughRequest& request, uint32_t residual, ScsiPassThroughOutcome& outcome);

// The caller's data copied through a buffer aligned to `alignment` (a power
// of two): in before a data-out call, back after a good data-in call.
class AlignedTransferBuffer {
 public:
  AlignedTransferBuffer(uint8_t* callerData, uint32_t length, bool dataIn, size_t alignment);
  uint8_t* data() { return aligned_; }
  // Copies the first `bytes` transferred back to the caller (data in only).
  void CopyBack(uint32_t bytes);

 private:
  std::vector<uint8_t> storage_;
  uint8_t* aligned_ = nullptr;
  uint8_t* caller_ = nullptr;
  uint32_t length_ = 0;
  bool dataIn_ = false;
};

// The operating system's SCSI pass-through call: takes the request (its data
// pointer aligned), returns the outcome and the number of bytes transferred.
using ScsiPassThroughCall =
    std::function<ScsiPassThroughOutcome(const ScsiPassThroughRequest& request, uint32_t& transferred)>;

// One SCSI pass-through with the data through an aligned buffer and the
// transfer checked for completeness.
ScsiPassThroughOutcome RunScsiPassThrough(const ScsiPassThroughRequest& request, size_t alignment,
                                          const ScsiPassThroughCall& call);

// The operating system's ATA pass-through call: false when the call itself
// failed; the task files are returned in place.
using AtaPassThroughCall = std::function<bool(AtaPassThroughRequest& request)>;

// One ATA pass-through: done only when the call succeeded and the returned
// status register shows no failure.
bool RunAtaPassThrough(AtaPassThroughRequest& request, const AtaPassThroughCall& call);

}  // namespace dozered
