// The one mapping from the address fields of a flash command (block, page,
// option byte, channel/CE byte) to a physical page of the simulated flash.
// Reads, writes, erases, dumps, translation and the bad-block tables all use
// it.
//
// An F-block b lives in CE group b / blocksPerCe at block b % blocksPerCe of
// every die of that group; it spans all channels, the interleaved CEs of the
// group and all planes. A command's CE is the interleave field of its
// channel/CE byte plus the first CE of the block's group.
#pragma once

#include <cstdint>

#include "sim/drive_config.h"

namespace dozered::sim {

// Option byte bits (the FlashOption layout).
inline constexpr uint8_t kOptionScramble = 0x01;
inline constexpr uint8_t kOptionEccOff = 0x02;
inline constexpr uint8_t kOptionOnePlane = 0x04;
inline constexpr uint8_t kOptionNoSpare = 0x08;
inline constexpr uint8_t kOptionStrongPage = 0x10;
inline constexpr uint8_t kOptionReadRetry = 0x20;

// The FlashAddress parameters of a command block.
struct FlashCommandAddress {
  uint16_t block = 0;
  uint16_t page = 0;
  uint8_t chunk = 0;
  uint8_t option = 0;
  uint8_t chce = 0;
};

FlashCommandAddress DecodeFlashAddress(const uint8_t* commandBlock);

struct PhysicalBlock {
  int channel = 0;
  int ce = 0;
  int plane = 0;
  int blockInCe = 0;
};

struct PhysicalPage {
  PhysicalBlock block;
  int page = 0;  // page within the block, in program order
};

class FlashLayout {
 public:
  explicit FlashLayout(const FlashGeometry& geometry) : g_(geometry) {}

  const FlashGeometry& geometry() const { return g_; }
  int PhysicalBlockCount() const { return g_.channels * g_.ces * g_.planes * g_.blocksPerCe; }
  int BlockIndex(const PhysicalBlock& b) const {
    return ((b.channel * g_.ces + b.ce) * g_.planes + b.plane) * g_.blocksPerCe + b.blockInCe;
  }
  PhysicalBlock BlockAt(int index) const;
  uint64_t PageKey(const PhysicalPage& p) const {
    return static_cast<uint64_t>(BlockIndex(p.block)) * static_cast<uint64_t>(g_.pagesPerBlock) +
           static_cast<uint64_t>(p.page);
  }

  // The F-block a physical block belongs to and its CE offset in the group.
  int FBlockOf(const PhysicalBlock& b) const { return (b.ce / g_.interleaveWays) * g_.blocksPerCe + b.blockInCe; }
  int CeOffsetOf(const PhysicalBlock& b) const { return b.ce % g_.interleaveWays; }
  // The physical block of F-block `fblock` at (channel, CE offset, plane).
  PhysicalBlock BlockOfFBlock(int fblock, int channel, int ceOffset, int plane) const;

  // The physical block a command addresses; false when no die sits there.
  bool ResolveBlock(const FlashCommandAddress& a, PhysicalBlock* out) const;
  // The physical page a command addresses; strong page mode reaches the
  // LSB pages only. False when nothing sits there.
  bool ResolvePage(const FlashCommandAddress& a, PhysicalPage* out) const;

  // The LSB page that strong page p uses.
  static int StrongPage(int p) { return p == 0 ? 0 : 2 * p - 1; }

 private:
  FlashGeometry g_;
};

}  // namespace dozered::sim
