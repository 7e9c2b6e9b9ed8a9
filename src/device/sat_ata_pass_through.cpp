#include "device/sat_ata_pass_through.h"

#include <cstring>

namespace dozered {

namespace {

// ATA protocols of the CDB's byte 1 (bits 4-1).
constexpr uint8_t kProtocolNonData = 3;
constexpr uint8_t kProtocolPioDataIn = 4;
constexpr uint8_t kProtocolPioDataOut = 5;
constexpr uint8_t kProtocolDma = 6;

// Byte 2: T_DIR (from the device), BYT_BLOK (count in blocks), T_LENGTH = 2
// (the count is in the sector count field).
constexpr uint8_t kTransferFromDevice = 0x08;
constexpr uint8_t kTransferInBlocks = 0x04;
constexpr uint8_t kLengthInSectorCount = 0x02;

}  // namespace

void BuildSatAtaPassThrough16(const AtaPassThroughRequest& request, uint8_t* cdb, bool& dataIn) {
  std::memset(cdb, 0, 16);
  const bool in = (request.ataFlags & kAtaFlagsDataIn) != 0;
  const bool out = (request.ataFlags & kAtaFlagsDataOut) != 0;
  const bool dma = (request.ataFlags & kAtaFlagsUseDma) != 0;
  const bool hasData = (in || out) && request.dataTransferLength != 0;
  uint8_t protocol = kProtocolNonData;
  if (hasData) protocol = dma ? kProtocolDma : (in ? kProtocolPioDataIn : kProtocolPioDataOut);

  const AtaTaskFile& tf = request.currentTaskFile;
  cdb[0] = kSatAtaPassThrough16;
  cdb[1] = static_cast<uint8_t>(protocol << 1);
  if (hasData) cdb[2] = static_cast<uint8_t>((in ? kTransferFromDevice : 0) | kTransferInBlocks | kLengthInSectorCount);
  cdb[4] = tf.features;
  cdb[6] = tf.sectorCount;
  cdb[8] = tf.lbaLow;
  cdb[10] = tf.lbaMid;
  cdb[12] = tf.lbaHigh;
  cdb[13] = tf.device;
  cdb[14] = tf.command;
  dataIn = hasData && in;
}

}  // namespace dozered
