// ATA commands carried in a SCSI ATA PASS-THROUGH(16) CDB (SCSI/ATA
// Translation), for platforms that reach ATA drives only through SCSI, and
// what the reply of such a command says about the ATA command.
#pragma once

#include <cstddef>
#include <cstdint>

#include "device/storage_platform.h"

namespace dozered {

inline constexpr uint8_t kSatAtaPassThrough16 = 0x85;

// Fills `cdb` (16 bytes) from the request's current task file and flags;
// `dataIn` tells the transfer direction of the SCSI command. A data transfer
// is declared in blocks of 512 bytes in the count field (T_LENGTH), which
// holds the real number of sectors moved, so that a bridge that checks the
// length against the transfer sees them agree. False, with nothing to send,
// when the request cannot be carried faithfully: a length that is no whole
// number of sectors, more than 255 sectors (a count of 0 means 256 sectors
// to the drive but no data to a bridge), or a DMA task file whose count
// differs from the transfer.
bool BuildSatAtaPassThrough16(const AtaPassThroughRequest& request, uint8_t* cdb, bool& dataIn);

// What sense data says, as far as an ATA PASS-THROUGH reply needs it.
struct SatSense {
  bool valid = false;  // fixed (0x70/0x71) or descriptor (0x72/0x73) format
  uint8_t key = 0;
  uint8_t asc = 0;
  uint8_t ascq = 0;
  bool ataRegisters = false;  // the ATA registers were returned
  AtaTaskFile registers;      // features = ERROR, command = STATUS, as ATA pass-through returns them
};

// Reads `length` bytes of sense data; never reads past them. The ATA
// registers come from the ATA Status Return descriptor (0x09) of descriptor
// format, or from the information fields of fixed format when the sense says
// "ATA PASS-THROUGH INFORMATION AVAILABLE" (00/1D).
SatSense ParseSatSense(const uint8_t* sense, size_t length);

// Whether an ATA PASS-THROUGH command was carried out, from the SCSI reply:
// GOOD status, or CHECK CONDITION with "ATA PASS-THROUGH INFORMATION
// AVAILABLE" under NO SENSE or RECOVERED ERROR and a returned status
// register without ERR, DF, DRQ or BSY. Any other reply is a failure.
// `returned` receives the returned registers; after GOOD status without
// any, a status register of a command done (DRDY, DSC).
bool SatReplyCompleted(uint8_t scsiStatus, const uint8_t* sense, size_t senseLength, AtaTaskFile& returned);

}  // namespace dozered
