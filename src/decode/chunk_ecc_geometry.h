// The shape of the controller's chunk-ECC answer, taken from the drive's
// card-information record: one answer describes one page as `retryRows` rows
// (read-retry levels), each of `groupsPerRow` groups (one per plane), each
// group `chunksPerGroup` chunk counts (one per 1 KiB chunk of the page)
// followed by one spare count, one byte each.
#pragma once

#include <cstdint>

namespace dozered {

struct ChunkEccGeometry {
  int chunksPerGroup = 16;  // A
  int groupsPerRow = 2;     // B
  int retryRows = 8;        // C

  int AnswerBytes() const { return (chunksPerGroup + 1) * groupsPerRow * retryRows; }
  int AnswerSectors() const { return (AnswerBytes() + 511) / 512; }
  // Offset of the count of chunk `chunk` (or the spare count for chunk ==
  // chunksPerGroup) of group `group` in row `row`.
  int Offset(int row, int group, int chunk) const {
    return (row * groupsPerRow + group) * (chunksPerGroup + 1) + chunk;
  }
};

inline constexpr int kCardInfoPlaneCountOffset = 355;
inline constexpr int kCardInfoPageSizeKiBOffset = 402;
inline constexpr int kChunkEccRetryRows = 8;

// A = PageSizeKiB (1 KiB chunks, 1 to 64), B = PlaneCount (1 to 4), C = 8
// read-retry levels. Out-of-range record values are clamped so that the
// answer always fits a 64 KiB buffer.
inline ChunkEccGeometry ChunkEccGeometryFromCardInfo(const uint8_t* cardInfo) {
  auto clamp = [](int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); };
  ChunkEccGeometry g;
  g.chunksPerGroup = clamp(cardInfo[kCardInfoPageSizeKiBOffset], 1, 64);
  g.groupsPerRow = clamp(cardInfo[kCardInfoPlaneCountOffset], 1, 4);
  g.retryRows = kChunkEccRetryRows;
  return g;
}

}  // namespace dozered
