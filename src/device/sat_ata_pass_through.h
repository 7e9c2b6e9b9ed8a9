// ATA commands carried in a SCSI ATA PASS-THROUGH(16) CDB (SCSI/ATA
// Translation), for platforms that reach ATA drives only through SCSI.
#pragma once

#include <cstdint>

#include "device/storage_platform.h"

namespace dozered {

inline constexpr uint8_t kSatAtaPassThrough16 = 0x85;

// Fills `cdb` (16 bytes) from the request's current task file and flags.
// `dataIn` tells the transfer direction of the SCSI command.
void BuildSatAtaPassThrough16(const AtaPassThroughRequest& request, uint8_t* cdb, bool& dataIn);

}  // namespace dozered
