// The interface between the Virtual storage platform and the drives it serves.
// The platform hands every request that the StorageDevice record builds (SCSI
// CDBs, ATA task files, NVMe admin submissions) to the drive object of the
// disk it was sent to, exactly as an operating system would hand it to the
// device. The simulated VE4810VO drive (src/sim) and the plain disk image
// implement it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "device/ata_task_file.h"

namespace dozered {

// SCSI status bytes a drive can return.
inline constexpr uint8_t kScsiStatusGood = 0x00;
inline constexpr uint8_t kScsiStatusCheckCondition = 0x02;

struct ScsiCommand {
  uint8_t cdb[16] = {};
  uint8_t cdbLength = 0;
  bool dataIn = false;       // true: device to host
  uint8_t* data = nullptr;   // caller's buffer, `length` bytes
  uint32_t length = 0;
};

struct ScsiOutcome {
  uint8_t status = kScsiStatusGood;  // SCSI status byte
  uint8_t sense[32] = {};            // fixed-format sense when status is CHECK CONDITION
  uint8_t senseLength = 0;
};

struct AtaCommand {
  uint16_t ataFlags = 0;     // 0x02 data in, 0x04 data out, 0x10 DMA, 0x01 DRDY required
  AtaTaskFile current;
  AtaTaskFile previous;
  uint8_t* data = nullptr;
  uint32_t length = 0;
};

// An NVMe admin command: the 64-byte submission entry, the data buffer and
// the 16-byte completion entry the drive fills.
struct NvmeAdminCommand {
  uint8_t submission[64] = {};
  uint8_t completion[16] = {};
  uint8_t* data = nullptr;
  uint32_t length = 0;
};

class VirtualDrive {
 public:
  virtual ~VirtualDrive() = default;

  // Executes one SCSI command. Returns false when the request could not be
  // delivered at all (the platform then fails the pass-through call as an
  // operating system would); otherwise the outcome carries the SCSI status.
  virtual bool ExecuteScsi(ScsiCommand& command, ScsiOutcome& outcome) = 0;

  // Executes one ATA command. Returns false when the drive does not speak ATA
  // or the command is aborted.
  virtual bool ExecuteAta(AtaCommand& command) = 0;

  // Executes one NVMe admin command. Returns false when the drive is not an
  // NVMe drive or the command fails.
  virtual bool ExecuteNvmeAdmin(NvmeAdminCommand& command) = 0;
};

// Faults and addressing that belong to the operating system's view of a
// virtual disk rather than to the drive itself.
struct VirtualDiskOptions {
  bool hasScsiAddress = true;  // false: the SCSI address query fails
  int port = 0;
  int target = 0;
  int lun = 0;
  std::vector<char> volumeLetters;  // lowercase letters of the volumes on this disk
  bool volumeLockFails = false;     // FSCTL_LOCK_VOLUME fails on its volumes
  bool dismountFails = false;       // FSCTL_DISMOUNT_VOLUME fails on its volumes
  uint32_t passThroughError = 0;    // non-zero: every pass-through call fails with this OS error (87, ...)
  bool openFails = false;           // opening the disk's path (or one of its volumes) fails
  int32_t diskNumber = -1;          // the disk's number; -1: its position in the platform's list
  bool diskNumberFails = false;     // its disk interface reports no disk number
};

// One disk of a Virtual platform: the drive that answers its requests and the
// operating system's view of it.
struct VirtualDisk {
  std::string label;  // free text for traces and logs
  std::shared_ptr<VirtualDrive> drive;
  VirtualDiskOptions options;
};

}  // namespace dozered
