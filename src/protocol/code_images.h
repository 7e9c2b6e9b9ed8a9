// File layouts of the controller code the tool loads: the MPISP image that
// brings a controller out of ROM code mode, and the small diagnostic programs
// (DgISP_*.bin) sent before flash-level diagnostic reads. Pure functions over
// bytes; reading the files and talking to the drive is done by the loaders.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "protocol/record_text.h"

namespace dozered {

// MPISP image: a 1,024-byte header (load address at offset 6, 32-bit
// little-endian) followed by the code image.
inline constexpr size_t kMpispHeaderSize = 1024;
inline constexpr size_t kMpispLoadAddressOffset = 6;
// DownloadCode sends the image in pieces of at most 128 sectors.
inline constexpr uint32_t kCodePieceSize = 65536;
inline constexpr uint32_t kCodeSectorSize = 512;

// Diagnostic program: either a 1,024-byte "DGISPHEADER" header with the load
// address at offset 16, or a bare payload loaded at 0xE400. The payload ends
// in a 32-byte trailer whose first 16 bytes are the ISP version it was built for.
inline constexpr char kDiagnosticHeaderTag[] = "DGISPHEADER";
inline constexpr size_t kDiagnosticHeaderSize = 1024;
inline constexpr size_t kDiagnosticHeadReadSize = 32;  // bytes read to tell the forms apart
inline constexpr size_t kDiagnosticLoadAddressOffset = 16;
inline constexpr uint32_t kBareDiagnosticLoadAddress = 0xE400;
inline constexpr size_t kDiagnosticTrailerSize = 32;
inline constexpr size_t kIspVersionSize = 16;

// ISP information block: the firmware's ISP version at 404..419; 404..415 are
// also the name of the folder that holds the drive's files, 416..419 "SNDK" on
// drives whose diagnostic files sit in per-firmware-revision subfolders.
inline constexpr size_t kIspInfoBytes = 512;
inline constexpr size_t kIspVersionOffset = 404;
inline constexpr size_t kIspFolderNameSize = 12;
inline constexpr size_t kIspVendorTagOffset = 416;

// The image part of an MPISP file, ready to send.
struct MpispImage {
  uint32_t loadAddress = 0;
  size_t imageSize = 0;        // file size - 1,024
  std::vector<uint8_t> data;   // the image, zero-padded to whole sectors (at least one)
};

// One DownloadCode call of an MPISP load.
struct CodePiece {
  uint32_t address = 0;   // controller address
  size_t offset = 0;      // offset into the image
  uint32_t sectors = 0;   // 1..128
};

// Splits an MPISP file into header and image. Returns false when the file
// holds no image (1,024 bytes or fewer).
bool ParseMpispImage(const std::vector<uint8_t>& file, MpispImage& image);

// The DownloadCode pieces for an image of `imageSize` bytes loaded at `address`:
// 128 sectors per full 64 KiB, the rest rounded up to whole sectors.
std::vector<CodePiece> PlanCodePieces(uint32_t address, size_t imageSize);

// Where the payload of a diagnostic file of `fileSize` bytes starts and where
// it is loaded, from the file's first bytes.
struct DiagnosticLayout {
  uint32_t loadAddress = kBareDiagnosticLoadAddress;
  size_t payloadOffset = 0;
  size_t payloadSize = 0;
};
DiagnosticLayout DiagnosticLayoutOf(std::span<const uint8_t> head, size_t fileSize);

// True when the 16 ISP-version bytes at the start of a payload's trailer equal
// bytes 404..419 of the ISP information block.
bool TrailerMatchesIspVersion(std::span<const uint8_t, kDiagnosticTrailerSize> trailer,
                              std::span<const uint8_t, kIspInfoBytes> ispInfo);

// The firmware revision text: IDENTIFY words 23..26 (up to the first NUL).
std::string FirmwareRevisionText(std::span<const uint8_t, kIdentifyBytes> identify);

// The folder named by ISP information bytes 404..415 (up to the first NUL),
// as the drive gives it: the caller checks that it is a plain folder name.
std::string IspFolderName(std::span<const uint8_t, kIspInfoBytes> ispInfo);

// Diagnostic files sit in <exe>/<ISP folder>/<name>, or in
// <exe>/<ISP folder>/<first three characters of the firmware revision>/<name>
// when the ISP information carries "SNDK" and the revision begins with 'P'.
bool UsesRevisionSubfolder(std::span<const uint8_t, kIdentifyBytes> identify,
                           std::span<const uint8_t, kIspInfoBytes> ispInfo);
std::string RevisionSubfolderName(std::span<const uint8_t, kIdentifyBytes> identify);

}  // namespace dozered
