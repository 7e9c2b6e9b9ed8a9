// The layout of the firmware's chunk-ECC answer for one page: `retryRows`
// rows (read-retry levels), each of `groupsPerRow` groups (one per plane),
// each group `chunksPerGroup` counts of corrected bits (one per 1 KiB chunk of
// the page) followed by one count for the spare area, one byte each. The
// sizes come from the drive's card-information record (ChunkEccGeometryOf).
#pragma once

namespace dozered::sim {

struct ChunkEccGeometry {
  int chunksPerGroup = 16;
  int groupsPerRow = 2;
  int retryRows = 8;

  int AnswerBytes() const { return (chunksPerGroup + 1) * groupsPerRow * retryRows; }
  int AnswerSectors() const { return (AnswerBytes() + 511) / 512; }
  // Offset of the count of chunk `chunk` (the spare count when chunk ==
  // chunksPerGroup) of group `group` in row `row`.
  int Offset(int row, int group, int chunk) const {
    return (row * groupsPerRow + group) * (chunksPerGroup + 1) + chunk;
  }
};

inline constexpr int kChunkEccRetryRows = 8;

}  // namespace dozered::sim
