// A VirtualDrive wrapper for tests: it logs every sector read and write
// (SCSI READ(10)/WRITE(10), ATA READ DMA/WRITE DMA) that reaches the drive
// underneath, and can make chosen sector accesses fail. Every other request
// passes through unchanged.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "device/virtual_drive.h"

namespace dozered::testing {

struct SectorAccess {
  uint32_t lba = 0;
  uint32_t count = 0;
  bool write = false;
  bool failed = false;
  std::vector<uint8_t> data;  // what was written (writes only)
};

// How an injected fault behaves.
enum class FaultKind {
  kDropped,  // the drive never sees the access; it is reported failed
  kLost,     // the drive performs the access, but its status is lost: reported failed
};

class RecordingDrive : public VirtualDrive {
 public:
  explicit RecordingDrive(std::shared_ptr<VirtualDrive> inner) : inner_(std::move(inner)) {}

  const std::vector<SectorAccess>& Accesses() const { return accesses_; }
  void ClearAccesses() { accesses_.clear(); }
  int AccessCount() const { return static_cast<int>(accesses_.size()); }

  // The access that will have index `index` in Accesses() fails; may be
  // called for several indexes.
  void FailAccess(int index, FaultKind kind = FaultKind::kDropped);
  // Every access that touches `lba` fails (until ClearFaults); may be called
  // for several LBAs.
  void FailLba(uint32_t lba, bool writesOnly = false, FaultKind kind = FaultKind::kDropped);
  // Every access from index `index` on fails (only the writes with
  // `writesOnly`): a drive that stops answering, or stops taking writes.
  void FailFrom(int index, FaultKind kind = FaultKind::kDropped, bool writesOnly = false);
  void ClearFaults();

  VirtualDrive& Inner() { return *inner_; }

  bool ExecuteScsi(ScsiCommand& command, ScsiOutcome& outcome) override;
  bool ExecuteAta(AtaCommand& command) override;
  bool ExecuteNvmeAdmin(NvmeAdminCommand& command) override { return inner_->ExecuteNvmeAdmin(command); }

 private:
  // Logs one access; returns the fault to apply, if any.
  std::optional<FaultKind> Log(uint32_t lba, uint32_t count, bool write, const uint8_t* data);

  std::shared_ptr<VirtualDrive> inner_;
  std::vector<SectorAccess> accesses_;
  std::map<int, FaultKind> failIndexes_;
  struct LbaFault {
    bool writesOnly = false;
    FaultKind kind = FaultKind::kDropped;
  };
  std::map<uint32_t, LbaFault> failLbas_;
  struct FromFault {
    int index = 0;
    FaultKind kind = FaultKind::kDropped;
    bool writesOnly = false;
  };
  std::optional<FromFault> failFrom_;
};

}  // namespace dozered::testing
