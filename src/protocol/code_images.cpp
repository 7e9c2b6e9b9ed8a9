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

DiagnosticLayout DiagnosticLayoutOf(std::span<const uint8_t> head, size_t fileSize) {
  DiagnosticLayout layout;
  const size_t tagLength = sizeof(kDiagnosticHeaderTag) - 1;
  const bool hasHeader = head.size() >= kDiagnosticLoadAddressOffset + 4 &&
                         std::memcmp(head.data(), kDiagnosticHeaderTag, tagLength) == 0;
  if (!hasHeader) {
    layout.payloadSize = fileSize;
    return layout;
  }
  layout.loadAddress = LittleEndian32(head.data() + kDiagnosticLoadAddressOffset);
  layout.payloadOffset = kDiagnosticHeaderSize;
  // A file cut inside its header has an empty payload, which no version matches.
  layout.payloadSize = fileSize > kDiagnosticHeaderSize ? fileSize - kDiagnosticHeaderSize : 0;
  return layout;
}

bool TrailerMatchesIspVersion(std::span<const uint8_t, kDiagnosticTrailerSize> trailer,
                              std::span<const uint8_t, kIspInfoBytes> ispInfo) {
  return std::memcmp(trailer.data(), ispInfo.data() + kIspVersionOffset, kIspVersionSize) == 0;
}

std::string FirmwareRevisionText(std::span<const uint8_t, kIdentifyBytes> identify) {
  return AtaText(identify, kFirmwareRevisionOffset, kFirmwareRevisionLength);
}

std::string IspFolderName(std::span<const uint8_t, kIspInfoBytes> ispInfo) {
  return RecordText(ispInfo, kIspVersionOffset, kIspFolderNameSize);
}

bool UsesRevisionSubfolder(std::span<const uint8_t, kIdentifyBytes> identify,
                           std::span<const uint8_t, kIspInfoBytes> ispInfo) {
  return std::memcmp(ispInfo.data() + kIspVendorTagOffset, "SNDK", 4) == 0 &&
         FirmwareRevisionText(identify).starts_with('P');
}

std::string RevisionSubfolderName(std::span<const uint8_t, kIdentifyBytes> identify) {
  return AtaText(identify, kFirmwareRevisionOffset, 3);
}

}  // namespace dozered
