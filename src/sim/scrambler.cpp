#include "sim/scrambler.h"

#include <array>
#include <vector>

#include "sim/sim_hash.h"

namespace dozered::sim {
namespace {

// The LFSR runs through all 32,767 non-zero states in one cycle, and so does
// its 8-step map (8 and 32,767 share no factor). The stream of every seed is
// therefore a slice of one byte sequence: the low bytes of the states met
// every 8 steps from state 1. The table holds that cycle three times over so
// that a slice of up to two cycles never wraps, and the position of every
// state on the cycle.
constexpr size_t kPeriod = 32767;

uint16_t Step(uint16_t s) { return static_cast<uint16_t>(((s >> 1) | (((s ^ (s >> 1)) & 1u) << 14)) & 0x7FFF); }

struct StreamTable {
  std::vector<uint8_t> bytes;            // bytes[m] = low byte of the state 8m steps after state 1
  std::array<uint16_t, 32768> index{};   // index[s] = m such that state s sits 8m steps after state 1

  StreamTable() : bytes(3 * kPeriod) {
    uint16_t s = 1;
    for (size_t m = 0; m < kPeriod; ++m) {
      bytes[m] = static_cast<uint8_t>(s);
      index[s] = static_cast<uint16_t>(m);
      for (int i = 0; i < 8; ++i) s = Step(s);
    }
    for (size_t m = kPeriod; m < bytes.size(); ++m) bytes[m] = bytes[m - kPeriod];
  }
};

const StreamTable& Table() {
  static const StreamTable table;
  return table;
}

}  // namespace

uint16_t ScramblerSeedState(uint64_t seed, int pageInBlock) {
  const uint64_t h = Hash(seed, HashDomain::kScrambleSeed, static_cast<uint64_t>(pageInBlock));
  return static_cast<uint16_t>((h & 0x7FFF) | 1);
}

void ScrambleStream(uint64_t seed, int pageInBlock, size_t position, uint8_t* bytes, size_t length) {
  if (bytes == nullptr || length == 0) return;
  const StreamTable& table = Table();
  // Byte k of the stream is the low byte of the state 8 (k + 1) steps after the seed state.
  size_t m = (table.index[ScramblerSeedState(seed, pageInBlock)] + (position % kPeriod) + 1) % kPeriod;
  while (length > 0) {
    const size_t n = length < 2 * kPeriod ? length : 2 * kPeriod;
    const uint8_t* stream = table.bytes.data() + m;
    for (size_t i = 0; i < n; ++i) bytes[i] ^= stream[i];
    bytes += n;
    length -= n;
    m = (m + n) % kPeriod;
  }
}

void ScrambleData(uint64_t seed, int pageInBlock, size_t offset, uint8_t* data, size_t length) {
  ScrambleStream(seed, pageInBlock, offset, data, length);
}

void ScrambleSpare(uint64_t seed, int pageInBlock, size_t pageDataBytes, uint8_t* spare, size_t spareLength) {
  if (spare == nullptr || spareLength < 2) return;
  ScrambleStream(seed, pageInBlock, pageDataBytes + 1, spare + 1, spareLength - 1);
}

void ScramblePage(uint64_t seed, int pageInBlock, uint8_t* data, size_t dataLength, uint8_t* spare,
                  size_t spareLength) {
  ScrambleData(seed, pageInBlock, 0, data, dataLength);
  ScrambleSpare(seed, pageInBlock, dataLength, spare, spareLength);
}

}  // namespace dozered::sim
