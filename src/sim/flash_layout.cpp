#include "sim/flash_layout.h"

namespace dozered::sim {

FlashCommandAddress DecodeFlashAddress(const uint8_t* c) {
  FlashCommandAddress a;
  a.block = static_cast<uint16_t>((c[2] << 8) | c[3]);
  a.page = static_cast<uint16_t>(c[4] | (c[12] << 8));
  a.chunk = c[5];
  a.option = c[8];
  a.chce = c[10];
  return a;
}

PhysicalBlock FlashLayout::BlockAt(int index) const {
  PhysicalBlock b;
  b.blockInCe = index % g_.blocksPerCe;
  index /= g_.blocksPerCe;
  b.plane = index % g_.planes;
  index /= g_.planes;
  b.ce = index % g_.ces;
  b.channel = index / g_.ces;
  return b;
}

PhysicalBlock FlashLayout::BlockOfFBlock(int fblock, int channel, int ceOffset, int plane) const {
  PhysicalBlock b;
  b.channel = channel;
  b.ce = (fblock / g_.blocksPerCe) * g_.interleaveWays + ceOffset;
  b.plane = plane;
  b.blockInCe = fblock % g_.blocksPerCe;
  return b;
}

bool FlashLayout::ResolveBlock(const FlashCommandAddress& a, PhysicalBlock* out) const {
  if (g_.blocksPerCe <= 0 || g_.interleaveWays <= 0) return false;
  const int group = a.block / g_.blocksPerCe;
  PhysicalBlock b;
  b.channel = a.chce & 0x07;
  b.ce = group * g_.interleaveWays + ((a.chce >> 3) & 0x07);
  b.plane = (a.option >> 6) & 0x03;
  b.blockInCe = a.block % g_.blocksPerCe;
  if (b.channel >= g_.channels || b.ce >= g_.ces || b.plane >= g_.planes) return false;
  *out = b;
  return true;
}

bool FlashLayout::ResolvePage(const FlashCommandAddress& a, PhysicalPage* out) const {
  PhysicalPage p;
  if (!ResolveBlock(a, &p.block)) return false;
  if (a.option & kOptionStrongPage) {
    if (a.page >= g_.pagesPerBlock / 2) return false;
    p.page = StrongPage(a.page);
  } else {
    if (a.page >= g_.pagesPerBlock) return false;
    p.page = a.page;
  }
  *out = p;
  return true;
}

}  // namespace dozered::sim
