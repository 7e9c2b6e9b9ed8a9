#include "device/nvme_miniport_request.h"

#include <cstring>

namespace dozered {

uint32_t ReadLe32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

void WriteLe32(uint8_t* bytes, uint32_t value) {
  bytes[0] = static_cast<uint8_t>(value);
  bytes[1] = static_cast<uint8_t>(value >> 8);
  bytes[2] = static_cast<uint8_t>(value >> 16);
  bytes[3] = static_cast<uint8_t>(value >> 24);
}

uint32_t NvmeOpcodeDirection(uint8_t opcode) {
  if (opcode & 0x01) return kNvmeDirectionHostToDevice;
  if (opcode & 0x02) return kNvmeDirectionDeviceToHost;
  return kNvmeDirectionNone;
}

uint32_t BuildNvmeIdentifyControllerRequest(uint8_t* block) {
  std::memset(block, 0, kNvmeMiniportBlockSize);
  const uint32_t dataLength = kNvmeIdentifyDataLength;
  const uint32_t metadataLength = 0;
  WriteLe32(block + kNvmeMiniportHeaderLengthOffset, kNvmeMiniportHeaderLength);
  std::memcpy(block + kNvmeMiniportSignatureOffset, kNvmeMiniportSignature, sizeof(kNvmeMiniportSignature));
  WriteLe32(block + kNvmeMiniportTimeoutOffset, kNvmeMiniportTimeoutSeconds);
  WriteLe32(block + kNvmeMiniportControlCodeOffset, kNvmeMiniportControlCode);
  WriteLe32(block + kNvmeMiniportReturnCodeOffset, 0);
  WriteLe32(block + kNvmeMiniportLengthOffset, dataLength + metadataLength + 125);

  uint8_t* submission = block + kNvmeMiniportSubmissionOffset;
  submission[0] = kNvmeAdminIdentify;
  WriteLe32(submission + 4, 0);   // namespace id
  WriteLe32(submission + 40, 1);  // command dword 10: CNS 1, the controller

  const uint32_t direction = NvmeOpcodeDirection(submission[0]);
  WriteLe32(block + kNvmeMiniportDirectionOffset, direction);
  WriteLe32(block + kNvmeMiniportQueueIdOffset, 0);
  WriteLe32(block + kNvmeMiniportDataLengthOffset, dataLength);
  WriteLe32(block + kNvmeMiniportMetadataLengthOffset, metadataLength);
  const uint32_t returnLength =
      direction == kNvmeDirectionDeviceToHost ? kNvmeMiniportFixedLength + dataLength : kNvmeMiniportFixedLength;
  WriteLe32(block + kNvmeMiniportReturnLengthOffset, returnLength);

  return direction == kNvmeDirectionHostToDevice ? kNvmeMiniportFixedLength + dataLength
                                                 : kNvmeMiniportFixedLength;
}

}  // namespace dozered
