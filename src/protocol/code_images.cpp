#include "protocol/code_images.h"

#include <algorithm>
#include <cstring>

namespace dozered {

namespace {

uint32_t LittleEndian32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

bool ParseMpispImage(const std::vector<uint8_t>& file, MpispImage& image) {
  if (file.size() <= kMpispHeaderSize) return false;
  image.loadAddress = LittleEndian32(file.data() + kMpispLoadAddressOffset);
  image.imageSize = file.size() - kMpispHeaderSize;
  const size_t sectors = (image.imageSize + kCodeSectorSize - 1) / kCodeSectorSize;
  image.data.assign(std::max<size_t>(sectors, 1) * kCodeSectorSize, 0);
  std::copy(file.begin() + kMpispHeaderSize, file.end(), image.data.begin());
  return true;
}

std::vector<CodePiece> PlanCodePieces(uint32_t address, size_t imageSize) {
  std::vector<CodePiece> pieces;
  for (size_t offset = 0; offset < imageSize; offset += kCodePieceSize) {
    const size_t remaining = imageSize - offset;
    CodePiece piece;
    piece.address = address + static_cast<uint32_t>(offset);
    piece.offset = offset;
    piece.sectors = remaining >= kCodePieceSize
                        ? kCodePieceSize / kCodeSectorSize
                        : static_cast<uint32_t>((remaining + kCodeSectorSize - 1) / kCodeSectorSize);
    pieces.push_back(piece);
  }
  return pieces;
}

DiagnosticLayout DiagnosticLayoutOf(const uint8_t* head, size_t headSize, size_t fileSize) {
  DiagnosticLayout layout;
  const size_t tagLength = sizeof(kDiagnosticHeaderTag) - 1;
  const bool hasHeader = headSize >= kDiagnosticLoadAddressOffset + 4 &&
                         std::memcmp(head, kDiagnosticHeaderTag, tagLength) == 0;
  if (!hasHeader) {
    layout.payloadSize = fileSize;
    return layout;
  }
  layout.loadAddress = LittleEndian32(head + kDiagnosticLoadAddressOffset);
  layout.payloadOffset = kDiagnosticHeaderSize;
  // A file cut inside its header has an empty payload, which no version matches.
  layout.payloadSize = fileSize > kDiagnosticHeaderSize ? fileSize - kDiagnosticHeaderSize : 0;
  return layout;
}

bool TrailerMatchesIspVersion(const uint8_t* trailer, const uint8_t* ispInfo) {
  return std::memcmp(trailer, ispInfo + kIspVersionOffset, kIspVersionSize) == 0;
}

std::string FirmwareRevisionText(const uint8_t* identify) {
  std::string text(8, '\0');
  for (size_t i = 0; i < 8; i += 2) {
    text[i] = static_cast<char>(identify[46 + i + 1]);
    text[i + 1] = static_cast<char>(identify[46 + i]);
  }
  return text;
}

std::string IspFolderName(const uint8_t* ispInfo) {
  const char* name = reinterpret_cast<const char*>(ispInfo + kIspVersionOffset);
  return std::string(name, strnlen(name, kIspFolderNameSize));
}

bool UsesRevisionSubfolder(const uint8_t* identify, const uint8_t* ispInfo) {
  return std::memcmp(ispInfo + kIspVendorTagOffset, "SNDK", 4) == 0 &&
         FirmwareRevisionText(identify)[0] == 'P';
}

std::string RevisionSubfolderName(const uint8_t* identify) {
  const std::string revision = FirmwareRevisionText(identify);
  return std::string(revision.c_str(), strnlen(revision.c_str(), 3));
}

}  // namespace dozered
