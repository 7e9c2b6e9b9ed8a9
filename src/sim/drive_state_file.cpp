#include "sim/drive_state_file.h"

#include <cstring>
#include <vector>

#include "sim/sim_hash.h"

namespace dozered::sim {
namespace {

constexpr char kMagic[8] = {'D', 'Z', 'S', 'I', 'M', 'S', 'T', '1'};
constexpr uint8_t kUserWrite = 'U';
constexpr uint8_t kProgram = 'P';
constexpr uint8_t kErase = 'E';
constexpr uint8_t kMode = 'M';

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

uint64_t Le64(const uint8_t* p) { return static_cast<uint64_t>(Le32(p)) | (static_cast<uint64_t>(Le32(p + 4)) << 32); }

void Le32To(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void Le64To(uint8_t* p, uint64_t v) {
  Le32To(p, static_cast<uint32_t>(v));
  Le32To(p + 4, static_cast<uint32_t>(v >> 32));
}

}  // namespace

DriveStateFile::DriveStateFile(const std::string& path, uint64_t fingerprint) : path_(path), fingerprint_(fingerprint) {}

DriveStateFile::~DriveStateFile() {
  if (file_ != nullptr) std::fclose(file_);
}

uint64_t DriveStateFile::Fingerprint(const DriveConfig& c) {
  const FlashGeometry& g = c.geometry;
  uint64_t h = SplitMix64(c.seed);
  for (int v : {g.channels, g.ces, g.interleaveWays, g.planes, g.blocksPerCe, g.pagesPerBlock, g.pageSizeKiB, g.spareBytes}) {
    h = SplitMix64(h ^ static_cast<uint64_t>(v));
  }
  return h;
}

size_t DriveStateFile::Restore(Firmware& firmware, UserDataStore& userData) {
  std::vector<uint8_t> bytes;
  if (std::FILE* in = std::fopen(path_.c_str(), "rb")) {
    uint8_t chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, in)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(in);
  }
  size_t records = 0;
  const bool valid = bytes.size() >= 16 && std::memcmp(bytes.data(), kMagic, 8) == 0 && Le64(bytes.data() + 8) == fingerprint_;
  size_t at = 16;
  size_t good = 16;
  while (valid && at < bytes.size()) {
    const uint8_t type = bytes[at];
    const size_t left = bytes.size() - at - 1;
    const uint8_t* p = bytes.data() + at + 1;
    if (type == kUserWrite && left >= 8 + 512) {
      userData.Write(Le64(p), 1, p + 8);
      at += 1 + 8 + 512;
    } else if (type == kProgram && left >= 16 && left >= 16 + static_cast<size_t>(Le32(p + 12))) {
      const uint32_t length = Le32(p + 12);
      firmware.RestoreProgram(static_cast<int>(Le32(p)), static_cast<int>(Le32(p + 4)), Le32(p + 8), p + 16, length);
      at += 1 + 16 + length;
    } else if (type == kErase && left >= 4) {
      firmware.RestoreErase(static_cast<int>(Le32(p)));
      at += 1 + 4;
    } else if (type == kMode && left >= 1) {
      firmware.RestoreMode(p[0]);
      at += 1 + 1;
    } else {
      break;  // an unknown or cut-off record ends the journal
    }
    good = at;
    ++records;
  }
  if (valid) {
    // Drop a cut-off tail so that new records follow the last whole one.
    if (good < bytes.size()) {
      if (std::FILE* out = std::fopen(path_.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, good, out);
        std::fclose(out);
      }
    }
    file_ = std::fopen(path_.c_str(), "ab");
  } else {
    file_ = std::fopen(path_.c_str(), "wb");
    if (file_ != nullptr) {
      uint8_t header[16];
      std::memcpy(header, kMagic, 8);
      Le64To(header + 8, fingerprint_);
      Append(header, sizeof header);
      Flush();
    }
  }
  return records;
}

void DriveStateFile::Append(const void* data, size_t length) {
  if (file_ != nullptr) std::fwrite(data, 1, length, file_);
}

void DriveStateFile::Flush() {
  if (file_ != nullptr) std::fflush(file_);
}

void DriveStateFile::OnUserWrite(uint64_t lba, uint32_t count, const uint8_t* data) {
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t head[9];
    head[0] = kUserWrite;
    Le64To(head + 1, lba + i);
    Append(head, sizeof head);
    Append(data + 512 * static_cast<size_t>(i), 512);
  }
  Flush();
}

void DriveStateFile::OnFlashProgram(int blockIndex, int page, uint32_t offset, const uint8_t* data, uint32_t length) {
  uint8_t head[17];
  head[0] = kProgram;
  Le32To(head + 1, static_cast<uint32_t>(blockIndex));
  Le32To(head + 5, static_cast<uint32_t>(page));
  Le32To(head + 9, offset);
  Le32To(head + 13, length);
  Append(head, sizeof head);
  Append(data, length);
  Flush();
}

void DriveStateFile::OnFlashErase(int blockIndex) {
  uint8_t head[5];
  head[0] = kErase;
  Le32To(head + 1, static_cast<uint32_t>(blockIndex));
  Append(head, sizeof head);
  Flush();
}

void DriveStateFile::OnModeChange(int mode) {
  const uint8_t record[2] = {kMode, static_cast<uint8_t>(mode)};
  Append(record, sizeof record);
  Flush();
}

}  // namespace dozered::sim
