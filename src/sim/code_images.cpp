#include "sim/code_images.h"

#include <cstring>

#include "sim/sim_hash.h"

namespace dozered::sim {
namespace {

uint32_t GetLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void FillCode(uint8_t* out, size_t length, uint64_t key) {
  uint64_t x = key;
  for (size_t i = 0; i < length; ++i) {
    if (i % 8 == 0) x = SplitMix64(x);
    out[i] = static_cast<uint8_t>(x >> (8 * (i % 8)));
  }
}

constexpr char kMpispMagic[8] = {'V', 'O', 'M', 'P', 'I', 'S', 'P', '\0'};
constexpr char kDiagnosticMagic[8] = {'D', 'G', 'P', 'R', 'O', 'G', '\0', '\0'};

}  // namespace

const char* DiagnosticProgramName(DiagnosticKind kind) {
  switch (kind) {
    case DiagnosticKind::kReadBadInfo: return "ReadBadInfo";
    case DiagnosticKind::kReadFlashDiagnosis: return "ReadFlashDiagnosis";
    case DiagnosticKind::kReadDistribution: return "ReadDistribution";
    case DiagnosticKind::kTranLba2Pba: return "TranLba2Pba";
    case DiagnosticKind::kReadChunkEcc: return "ReadChunkEcc";
    case DiagnosticKind::kNone: break;
  }
  return "";
}

std::string DiagnosticFileName(DiagnosticKind kind) {
  return std::string("DgISP_") + DiagnosticProgramName(kind) + ".bin";
}

std::vector<uint8_t> BuildDiagnosticFile(DiagnosticKind kind, const std::array<uint8_t, 16>& ispVersion,
                                         bool withHeader, uint32_t headerAddress) {
  const size_t header = withHeader ? 1024 : 0;
  const uint32_t address = withHeader ? headerAddress : kBareDiagnosticAddress;
  std::vector<uint8_t> file(header + kDiagnosticPayloadBytes, 0);
  if (withHeader) {
    std::memcpy(file.data(), "DGISPHEADER", 11);
    PutLe32(file.data() + 16, headerAddress);
  }
  uint8_t* p = file.data() + header;
  const size_t L = kDiagnosticPayloadBytes;
  FillCode(p + 48, L - 48 - 32, static_cast<uint64_t>(kind) * 0x1000 + address);
  std::memcpy(p, kDiagnosticMagic, 8);
  PutLe32(p + 8, address);
  PutLe32(p + 12, static_cast<uint32_t>(L));
  std::memset(p + 16, 0, 32);
  const char* name = DiagnosticProgramName(kind);
  std::memcpy(p + 16, name, std::strlen(name));
  std::memcpy(p + L - 32, ispVersion.data(), 16);
  std::memset(p + L - 16, 0, 16);
  std::memcpy(p + L - 16, "DGEND", 5);
  return file;
}

DiagnosticKind CheckDiagnosticPayload(const uint8_t* payload, size_t length, uint32_t loadAddress,
                                      const std::array<uint8_t, 16>& ispVersion) {
  if (length < 64 || std::memcmp(payload, kDiagnosticMagic, 8) != 0) return DiagnosticKind::kNone;
  if (GetLe32(payload + 8) != loadAddress) return DiagnosticKind::kNone;
  const uint32_t size = GetLe32(payload + 12);
  if (size < 64 || size > length) return DiagnosticKind::kNone;
  if (std::memcmp(payload + size - 32, ispVersion.data(), 16) != 0) return DiagnosticKind::kNone;
  char name[33] = {};
  std::memcpy(name, payload + 16, 32);
  for (DiagnosticKind kind : kAllDiagnosticKinds) {
    if (std::strcmp(name, DiagnosticProgramName(kind)) == 0) return kind;
  }
  return DiagnosticKind::kNone;
}

std::vector<uint8_t> BuildMpispFile(const std::array<uint8_t, 16>& ispVersion, size_t imageBytes,
                                    uint32_t loadAddress) {
  if (imageBytes < 512) imageBytes = 512;
  std::vector<uint8_t> file(kMpispFileHeaderBytes + imageBytes, 0);
  std::memcpy(file.data(), "MPISP", 5);
  PutLe32(file.data() + 6, loadAddress);
  uint8_t* image = file.data() + kMpispFileHeaderBytes;
  FillCode(image + 512, imageBytes - 512, 0x4D50495350ull ^ loadAddress);
  std::memcpy(image, kMpispMagic, 8);
  PutLe32(image + 8, static_cast<uint32_t>(imageBytes));
  uint32_t sum = 0;
  for (size_t i = 512; i < imageBytes; ++i) sum += image[i];
  PutLe32(image + 12, sum);
  std::memcpy(image + 16, ispVersion.data(), 16);
  return file;
}

bool IsCompleteMpispImage(const uint8_t* image, size_t length) {
  if (length < 512 || std::memcmp(image, kMpispMagic, 8) != 0) return false;
  const uint32_t size = GetLe32(image + 8);
  if (size < 512 || size > length) return false;
  uint32_t sum = 0;
  for (size_t i = 512; i < size; ++i) sum += image[i];
  return sum == GetLe32(image + 12);
}

}  // namespace dozered::sim
