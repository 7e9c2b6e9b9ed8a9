// The NVMe miniport request block: an SRB_IO_CONTROL header followed by one
// NVMe admin command and its data, sent on a SCSI port device. All numbers
// are little-endian.
#pragma once

#include <cstdint>

namespace dozered {

inline constexpr uint32_t kNvmeMiniportBlockSize = 4249;
inline constexpr uint32_t kNvmeMiniportHeaderLength = 28;
inline constexpr char kNvmeMiniportSignature[8] = {'N', 'v', 'm', 'e', 'M', 'i', 'n', 'i'};
inline constexpr uint32_t kNvmeMiniportTimeoutSeconds = 60;
inline constexpr uint32_t kNvmeMiniportControlCode = 0xE0002000;
inline constexpr uint32_t kNvmeMiniportFixedLength = 153;  // everything before the data, as counted by the driver
inline constexpr uint32_t kNvmeIdentifyDataLength = 4096;

// Offsets in the block.
inline constexpr uint32_t kNvmeMiniportHeaderLengthOffset = 0;
inline constexpr uint32_t kNvmeMiniportSignatureOffset = 4;
inline constexpr uint32_t kNvmeMiniportTimeoutOffset = 12;
inline constexpr uint32_t kNvmeMiniportControlCodeOffset = 16;
inline constexpr uint32_t kNvmeMiniportReturnCodeOffset = 20;
inline constexpr uint32_t kNvmeMiniportLengthOffset = 24;
inline constexpr uint32_t kNvmeMiniportSubmissionOffset = 52;
inline constexpr uint32_t kNvmeMiniportCompletionOffset = 116;
inline constexpr uint32_t kNvmeMiniportDirectionOffset = 132;
inline constexpr uint32_t kNvmeMiniportQueueIdOffset = 136;
inline constexpr uint32_t kNvmeMiniportDataLengthOffset = 140;
inline constexpr uint32_t kNvmeMiniportMetadataLengthOffset = 144;
inline constexpr uint32_t kNvmeMiniportReturnLengthOffset = 148;
inline constexpr uint32_t kNvmeMiniportDataOffset = 152;

inline constexpr uint32_t kNvmeDirectionNone = 0;
inline constexpr uint32_t kNvmeDirectionHostToDevice = 1;
inline constexpr uint32_t kNvmeDirectionDeviceToHost = 2;

inline constexpr uint8_t kNvmeAdminIdentify = 0x06;

// Transfer direction of an NVMe opcode: its two low bits.
uint32_t NvmeOpcodeDirection(uint8_t opcode);

// Clears `block` (kNvmeMiniportBlockSize bytes) and fills it with an Identify
// Controller command. Returns the IOCTL's input length; the output length is
// stored at kNvmeMiniportReturnLengthOffset.
uint32_t BuildNvmeIdentifyControllerRequest(uint8_t* block);

uint32_t ReadLe32(const uint8_t* bytes);
void WriteLe32(uint8_t* bytes, uint32_t value);

}  // namespace dozered
