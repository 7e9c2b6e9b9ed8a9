// A simulated drive served by the Virtual platform: the VE4810VO controller
// (or, by configuration, a plain disk without it) behind SCSI, SATA or NVMe.
// Every sector access passes the fault injector, the trace, and the
// controller's vendor protocol before it reaches the user data.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "device/virtual_drive.h"
#include "sim/access_trace.h"
#include "sim/drive_config.h"
#include "sim/drive_model.h"
#include "sim/drive_state_file.h"
#include "sim/fault_injector.h"
#include "sim/firmware.h"
#include "sim/user_data_store.h"
#include "sim/vendor_protocol.h"

namespace dozered::sim {

class SimulatedDrive final : public VirtualDrive {
 public:
  enum class AccessResult { kOk, kMediumError, kOutOfRange, kGone };

  explicit SimulatedDrive(const DriveConfig& config);
  ~SimulatedDrive() override;

  bool ExecuteScsi(ScsiCommand& command, ScsiOutcome& outcome) override;
  bool ExecuteAta(AtaCommand& command) override;
  bool ExecuteNvmeAdmin(NvmeAdminCommand& command) override;

  // The sector access every transport ends in.
  AccessResult ReadSectors(uint64_t lba, uint32_t count, uint8_t* buffer);
  AccessResult WriteSectors(uint64_t lba, uint32_t count, const uint8_t* buffer);
  // A host cache flush: what waits in the controller's RAM goes to the flash.
  bool FlushCache();

  const DriveConfig& config() const { return model_->config; }
  DriveModel& model() { return *model_; }
  Firmware& firmware() { return firmware_; }
  uint32_t capacity() const { return model_->identity.capacity; }
  bool hasController() const { return protocol_ != nullptr; }
  size_t StoredFlashBytes() const { return model_->flash.StoredBytes(); }
  // True while the drive keeps its state in its state file.
  bool persistent() const { return state_ != nullptr && state_->active(); }
  // Why the state file is not used, or what happened to it (empty when all went well).
  const std::string& stateNote() const { return stateNote_; }

 private:
  // One sector access: `in` receives a read, `out` carries a write.
  AccessResult Access(uint64_t lba, uint32_t count, uint8_t* in, const uint8_t* out);
  bool ScsiInquiry(ScsiCommand& command, ScsiOutcome& outcome);
  // The state file failed while in use: say so and go on without it.
  void ReportLostState();

  std::unique_ptr<DriveModel> model_;
  Firmware firmware_;
  std::unique_ptr<VendorProtocol> protocol_;
  HostData host_;
  FaultInjector faults_;
  std::unique_ptr<AccessTrace> trace_;
  std::unique_ptr<DriveStateFile> state_;
  std::string stateNote_;
};

}  // namespace dozered::sim
