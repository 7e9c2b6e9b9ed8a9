#include "device/sat_ata_pass_through.h"

#include <cstring>

#include "device/pass_through_checks.h"

namespace dozered {

namespace {

// ATA protocols of the CDB's byte 1 (bits 4-1).
constexpr uint8_t kProtocolNonData = 3;
constexpr uint8_t kProtocolPioDataIn = 4;
constexpr uint8_t kProtocolPioDataOut = 5;
constexpr uint8_t kProtocolDma = 6;

// Byte 2: T_DIR (from the device), BYT_BLOK (length in 512-byte blocks),
// T_LENGTH = 2 (the length is in the count field).
constexpr uint8_t kTransferFromDevice = 0x08;
constexpr uint8_t kTransferInBlocks = 0x04;
constexpr uint8_t kLengthInSectorCount = 0x02;

constexpr uint32_t kBlock = 512;
constexpr uint32_t kMaxCountFieldSectors = 255;

constexpr uint8_t kScsiStatusGood = 0x00;
constexpr uint8_t kScsiStatusCheckCondition = 0x02;

constexpr uint8_t kSenseKeyNoSense = 0x00;
constexpr uint8_t kSenseKeyRecoveredError = 0x01;
// ASC/ASCQ 00/1D: ATA PASS-THROUGH INFORMATION AVAILABLE.
constexpr uint8_t kAscAtaInformation = 0x00;
constexpr uint8_t kAscqAtaInformation = 0x1D;

constexpr uint8_t kDescriptorAtaStatusReturn = 0x09;
constexpr uint8_t kAtaStatusReturnLength = 0x0C;  // bytes after the descriptor's first two

// The status register of a command done: DRDY and DSC.
constexpr uint8_t kAtaStatusDone = 0x50;

}  // namespace

bool BuildSatAtaPassThrough16(const AtaPassThroughRequest& request, uint8_t* cdb, bool& dataIn) {
  std::memset(cdb, 0, 16);
  dataIn = false;
  const bool in = (request.ataFlags & kAtaFlagsDataIn) != 0;
  const bool out = (request.ataFlags & kAtaFlagsDataOut) != 0;
  const bool dma = (request.ataFlags & kAtaFlagsUseDma) != 0;
  const bool hasData = (in || out) && request.dataTransferLength != 0;
  if (in && out) return false;
  const AtaTaskFile& tf = request.currentTaskFile;

  uint8_t protocol = kProtocolNonData;
  uint8_t count = tf.sectorCount;
  if (hasData) {
    protocol = dma ? kProtocolDma : (in ? kProtocolPioDataIn : kProtocolPioDataOut);
    if (request.dataTransferLength % kBlock != 0) return false;
    const uint32_t sectors = request.dataTransferLength / kBlock;
    if (sectors > kMaxCountFieldSectors) return false;
    // A DMA command moves what its count says (0 meaning 256); a PIO
    // command without a count (IDENTIFY DEVICE) moves one block, and the
    // count field then only declares the transfer.
    if ((dma || tf.sectorCount != 0) && tf.sectorCount != sectors) return false;
    count = static_cast<uint8_t>(sectors);
  }

  cdb[0] = kSatAtaPassThrough16;
  cdb[1] = static_cast<uint8_t>(protocol << 1);
  if (hasData) cdb[2] = static_cast<uint8_t>((in ? kTransferFromDevice : 0) | kTransferInBlocks | kLengthInSectorCount);
  cdb[4] = tf.features;
  cdb[6] = count;
  cdb[8] = tf.lbaLow;
  cdb[10] = tf.lbaMid;
  cdb[12] = tf.lbaHigh;
  cdb[13] = tf.device;
  cdb[14] = tf.command;
  dataIn = hasData && in;
  return true;
}

SatSense ParseSatSense(const uint8_t* sense, size_t length) {
  SatSense result;
  if (sense == nullptr || length < 1) return result;
  const uint8_t responseCode = sense[0] & 0x7F;
  if (responseCode == 0x70 || responseCode == 0x71) {
    // Fixed format: key in byte 2, ASC/ASCQ in bytes 12-13; with 00/1D the
    // information field holds ERROR, STATUS, DEVICE, COUNT and the
    // command-specific field the LBA (bytes 9-11).
    if (length < 14) return result;
    result.valid = true;
    result.key = sense[2] & 0x0F;
    result.asc = sense[12];
    result.ascq = sense[13];
    if (result.asc == kAscAtaInformation && result.ascq == kAscqAtaInformation) {
      result.ataRegisters = true;
      result.registers.features = sense[3];
      result.registers.command = sense[4];
      result.registers.device = sense[5];
      result.registers.sectorCount = sense[6];
      result.registers.lbaLow = sense[9];
      result.registers.lbaMid = sense[10];
      result.registers.lbaHigh = sense[11];
    }
    return result;
  }
  if (responseCode == 0x72 || responseCode == 0x73) {
    // Descriptor format: key, ASC, ASCQ in bytes 1-3, descriptors from
    // byte 8 for the additional length in byte 7.
    if (length < 8) return result;
    result.valid = true;
    result.key = sense[1] & 0x0F;
    result.asc = sense[2];
    result.ascq = sense[3];
    size_t end = 8 + size_t{sense[7]};
    if (end > length) end = length;
    size_t at = 8;
    while (at + 2 <= end) {
      const uint8_t code = sense[at];
      const size_t size = 2 + size_t{sense[at + 1]};
      if (at + size > end) break;
      if (code == kDescriptorAtaStatusReturn && sense[at + 1] >= kAtaStatusReturnLength) {
        const uint8_t* d = sense + at;
        result.ataRegisters = true;
        result.registers.features = d[3];     // ERROR
        result.registers.sectorCount = d[5];  // COUNT (7:0)
        result.registers.lbaLow = d[7];       // LBA (7:0)
        result.registers.lbaMid = d[9];       // LBA (15:8)
        result.registers.lbaHigh = d[11];     // LBA (23:16)
        result.registers.device = d[12];
        result.registers.command = d[13];     // STATUS
        break;
      }
      at += size;
    }
  }
  return result;
}

bool SatReplyCompleted(uint8_t scsiStatus, const uint8_t* sense, size_t senseLength, AtaTaskFile& returned) {
  if (scsiStatus == kScsiStatusGood) {
    returned = AtaTaskFile{};
    returned.command = kAtaStatusDone;
    return true;
  }
  if (scsiStatus != kScsiStatusCheckCondition) return false;
  const SatSense parsed = ParseSatSense(sense, senseLength);
  if (parsed.ataRegisters) returned = parsed.registers;
  if (!parsed.valid || !parsed.ataRegisters) return false;
  const bool information = (parsed.key == kSenseKeyNoSense || parsed.key == kSenseKeyRecoveredError) &&
                           parsed.asc == kAscAtaInformation && parsed.ascq == kAscqAtaInformation;
  return information && !AtaStatusReportsFailure(parsed.registers.command);
}

}  // namespace dozered
