// The controller code images the simulated drive runs: the MPISP code that
// is downloaded into a controller in ROM code mode, and the small diagnostic
// programs loaded before flash-level diagnostic reads. The images are
// synthetic; their layouts inside the payload are this drive's own:
//
// MPISP code image (what is downloaded, the file's bytes from 1,024 on):
//   0-7   "VOMPISP" and a NUL      8-11  image length, little-endian
//   12-15 sum of bytes 512 to the end, little-endian
//   16-31 ISP version              512-  code
//
// Diagnostic program payload (L bytes, 3,072 in the files made here):
//   0-7   "DGPROG" and two NULs    8-11  link address, little-endian
//   12-15 payload length           16-47 program name ("ReadChunkEcc", ...)
//   L-32..L-17 ISP version (the trailer the tool checks)
//   L-16..L-1  "DGEND" and padding
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace dozered::sim {

enum class DiagnosticKind {
  kNone,
  kReadBadInfo,         // ReadMarkBadInfo
  kReadFlashDiagnosis,  // ReadBadBlockInfo
  kReadDistribution,    // ReadFlashDistribution
  kTranLba2Pba,         // TranslateLba
  kReadChunkEcc,        // ReadChunkEcc
};

inline constexpr DiagnosticKind kAllDiagnosticKinds[] = {
    DiagnosticKind::kReadBadInfo, DiagnosticKind::kReadFlashDiagnosis, DiagnosticKind::kReadDistribution,
    DiagnosticKind::kTranLba2Pba, DiagnosticKind::kReadChunkEcc};

inline constexpr uint32_t kBareDiagnosticAddress = 0xE400;
inline constexpr size_t kDiagnosticPayloadBytes = 3072;
inline constexpr uint32_t kMpispLoadAddress = 0x00010000;
inline constexpr size_t kMpispFileHeaderBytes = 1024;

const char* DiagnosticProgramName(DiagnosticKind kind);
std::string DiagnosticFileName(DiagnosticKind kind);  // "DgISP_ReadChunkEcc.bin"

// A diagnostic file: bare (loaded at 0xE400) or with the "DGISPHEADER"
// header carrying `headerAddress`.
std::vector<uint8_t> BuildDiagnosticFile(DiagnosticKind kind, const std::array<uint8_t, 16>& ispVersion,
                                         bool withHeader, uint32_t headerAddress = 0x0000E800);

// The kind of a received diagnostic payload, or kNone when it is not a
// diagnostic program, was linked for another address or built for another
// ISP version.
DiagnosticKind CheckDiagnosticPayload(const uint8_t* payload, size_t length, uint32_t loadAddress,
                                      const std::array<uint8_t, 16>& ispVersion);

// An MPISP file: the 1,024-byte header (load address at 6) and the image.
std::vector<uint8_t> BuildMpispFile(const std::array<uint8_t, 16>& ispVersion, size_t imageBytes,
                                    uint32_t loadAddress = kMpispLoadAddress);

// True when `image` holds a complete, intact MPISP code image.
bool IsCompleteMpispImage(const uint8_t* image, size_t length);

}  // namespace dozered::sim
