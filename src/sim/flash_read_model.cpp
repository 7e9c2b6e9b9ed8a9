#include "sim/flash_read_model.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "sim/drive_model.h"
#include "sim/sim_hash.h"

namespace dozered::sim {
namespace {

// The tails are the draws below kTailEdge and from 2^64 - kTailEdge up: 1/128
// of the cells on each side. A bulk draw is kTailEdge + h * kBulkStep for a
// 16-bit hash h, which spreads the bulk evenly between the tails (16 bits are
// plenty there: neighbouring bulk draws lie less than a thousandth of a sigma
// apart).
constexpr int kTailShift = 7;
constexpr uint64_t kTailEdge = 1ull << (64 - kTailShift);
constexpr uint64_t kBulkStep = (1ull << 48) - (1ull << (49 - kTailShift));
constexpr double kTailFraction = 2.0 / static_cast<double>(1 << kTailShift);
constexpr uint32_t kNever = 1u << 16;  // a bulk hash threshold no hash reaches

// The bulk hashes h with kTailEdge + h * kBulkStep < threshold: h < the result.
// The bit a page stores in a cell of each state: LSB page, MSB page.
constexpr bool kLsbBit[kCellStates] = {true, true, false, false, false};
constexpr bool kMsbBit[kCellStates] = {true, false, false, true, true};

uint32_t BulkBelow(uint64_t threshold) {
  if (threshold <= kTailEdge) return 0;
  const uint64_t h = (threshold - kTailEdge + kBulkStep - 1) / kBulkStep;
  return static_cast<uint32_t>(std::min<uint64_t>(h, kNever));
}

int DifferingBits(const uint8_t* a, const uint8_t* b, size_t bytes) {
  int n = 0;
  size_t k = 0;
  for (; k + 8 <= bytes; k += 8) {
    uint64_t x, y;
    std::memcpy(&x, a + k, 8);
    std::memcpy(&y, b + k, 8);
    n += __builtin_popcountll(x ^ y);
  }
  for (; k < bytes; ++k) n += __builtin_popcount(static_cast<unsigned>(a[k] ^ b[k]));
  return n;
}

}  // namespace

PageCells::PageCells(const DriveModel& model, const PhysicalPage& page) : model_(model), page_(page) {
  const FlashGeometry& g = model.config.geometry;
  chunks_ = g.pageSizeKiB;
  pageBytes_ = static_cast<size_t>(g.PageBytes());
  spareBytes_ = static_cast<size_t>(std::max(g.spareBytes, 1));
  const WordlinePosition pos = WordlineOf(page.page, g.pagesPerBlock);
  msb_ = pos.msb;
  lsbPage_ = page;
  msbPage_ = page;
  lsbPage_.page = LsbPageOf(pos.wordline, g.pagesPerBlock);
  msbPage_.page = MsbPageOf(pos.wordline, g.pagesPerBlock);
  const PageInfo lsbInfo = model.flash.Info(lsbPage_);
  const PageInfo msbInfo = msbPage_.page >= 0 ? model.flash.Info(msbPage_) : PageInfo{};
  lsbProgrammed_ = lsbInfo.programmed;
  msbProgrammed_ = msbInfo.programmed;
  ownInfo_ = msb_ ? msbInfo : lsbInfo;
  readsErased_ = msb_ && !msbProgrammed_;

  double latest = -std::numeric_limits<double>::infinity();
  for (const PageInfo* info : {&lsbInfo, &msbInfo}) {
    if (!info->programmed) continue;
    latest = std::max(latest, info->programmedAtHours);
    history_.programmedOutOfOrder = history_.programmedOutOfOrder || info->afterHigherPage;
  }
  history_.eraseCount = model.EraseCountOf(page.block);
  history_.hoursSinceProgram = std::isfinite(latest) ? std::max(model.flash.ClockHours() - latest, 0.0) : 0.0;
  model.cells.States(page.block, history_, states_);
  wordlineKey_ = static_cast<uint64_t>(model.layout.BlockIndex(page.block)) * static_cast<uint64_t>(g.pagesPerBlock) +
                 static_cast<uint64_t>(pos.wordline);
  regions_.resize(static_cast<size_t>(RegionCount()));
}

size_t PageCells::RegionOffset(int region) const {
  return region == SpareRegion() ? 1 : static_cast<size_t>(region) * kChunkBytes;
}

size_t PageCells::RegionBytes(int region) const {
  return region == SpareRegion() ? spareBytes_ - 1 : kChunkBytes;
}

bool PageCells::RegionProgrammed(int region) const {
  if (readsErased_ || !ownInfo_.programmed) return false;
  if (region == SpareRegion()) return ownInfo_.spare;
  return RegionOffset(region) < ownInfo_.dataBytes;
}

uint64_t PageCells::RegionSeed(int region) const {
  return Hash(model_.config.seed, HashDomain::kCellZScore, wordlineKey_ * 64 + static_cast<uint64_t>(region),
              history_.eraseCount);
}

PageCells::Region& PageCells::Load(int region) {
  Region& r = regions_[static_cast<size_t>(region)];
  if (r.loaded) return r;
  const size_t bytes = RegionBytes(region);
  auto fill = [&](const PhysicalPage& page, std::vector<uint8_t>& out) {
    out.resize(bytes);
    if (region == SpareRegion()) {
      std::vector<uint8_t> spare(spareBytes_);
      model_.flash.ReadSpare(page, spare.data());
      std::memcpy(out.data(), spare.data() + 1, bytes);
    } else {
      model_.flash.ReadData(page, RegionOffset(region), out.data(), bytes);
    }
  };
  if (lsbProgrammed_) {
    fill(lsbPage_, r.lsb);
  } else {
    r.lsb.assign(bytes, 0xFF);
  }
  if (msbProgrammed_) fill(msbPage_, r.msb);
  r.loaded = true;
  return r;
}

const uint8_t* PageCells::Stored(int region) {
  Region& r = Load(region);
  if (msb_) {
    if (r.msb.empty()) r.msb.assign(RegionBytes(region), 0xFF);
    return r.msb.data();
  }
  return r.lsb.data();
}

void PageCells::MakeTails(int region, Region& r) {
  const uint64_t cells = RegionBytes(region) * 8;
  const uint64_t base = SplitMix64(RegionSeed(region) ^ 0x7A11C0DEull);
  const double logKeep = std::log1p(-kTailFraction);
  r.tails.clear();
  r.tails.reserve(static_cast<size_t>(static_cast<double>(cells) * kTailFraction * 1.5) + 8);
  double position = -1;
  for (uint64_t j = 0;; ++j) {
    const uint64_t h = SplitMix64(base + 2 * j);
    const double u = (static_cast<double>(h >> 11) + 0.5) * (1.0 / 9007199254740992.0);
    position += 1.0 + std::floor(std::log(u) / logKeep);
    if (position >= static_cast<double>(cells)) break;
    const uint64_t v = SplitMix64(base + 2 * j + 1);
    const uint64_t draw = (v & 1) ? ~(v >> kTailShift) : (v >> kTailShift);
    r.tails.push_back(Tail{static_cast<uint32_t>(position), draw});
  }
  r.tailsMade = true;
}

void PageCells::SetThresholds(const ReadReferences& references) {
  if (references.r1 == thresholdsFor_.r1 && references.r2 == thresholdsFor_.r2 && references.r3 == thresholdsFor_.r3) {
    return;
  }
  for (int s = 0; s < kCellStates; ++s) {
    thresholds_.below1[s] = BelowThreshold(states_[s], references.r1);
    thresholds_.below2[s] = BelowThreshold(states_[s], references.r2);
    thresholds_.below3[s] = BelowThreshold(states_[s], references.r3);
    // In bulk hashes: the page reads 1 for h < low or h >= high.
    if (msb_) {
      thresholds_.bulkLow[s] = BulkBelow(thresholds_.below1[s]);
      thresholds_.bulkHigh[s] = BulkBelow(thresholds_.below3[s]);
    } else {
      thresholds_.bulkLow[s] = BulkBelow(thresholds_.below2[s]);
      thresholds_.bulkHigh[s] = kNever;
    }
  }
  thresholdsFor_ = references;
}

// An LSB page reads 1 below R2; an MSB page reads 1 below R1 and from R3 up.
bool PageCells::ReadBit(int state, uint64_t draw) const {
  if (msb_) return draw < thresholds_.below1[state] || draw >= thresholds_.below3[state];
  return draw < thresholds_.below2[state];
}

// True when every bulk cell reads the bit it stores at the current
// references: only tail cells can then be in error.
bool PageCells::BulkReadsStored() const {
  const int used[] = {kStateEr, kStateP1, kStateP2, kStateP3};
  const int lsbOnly[] = {kStateEr, kStateIm};
  const int* states = msbProgrammed_ ? used : lsbOnly;
  const int count = msbProgrammed_ ? 4 : 2;
  for (int k = 0; k < count; ++k) {
    const int s = states[k];
    const uint32_t low = thresholds_.bulkLow[s];
    const uint32_t high = thresholds_.bulkHigh[s];
    const bool allOne = low >= high || low >= kNever || high == 0;
    const bool allZero = low == 0 && high >= kNever;
    const bool stored = msb_ ? kMsbBit[s] : kLsbBit[s];
    if (stored ? !allOne : !allZero) return false;
  }
  return true;
}

int PageCells::Read(int region, const ReadReferences& references, uint8_t* out) {
  const size_t bytes = RegionBytes(region);
  if (readsErased_) {
    std::memset(out, 0xFF, bytes);
    return 0;
  }
  Region& r = Load(region);
  SetThresholds(references);
  if (!r.tailsMade) MakeTails(region, r);
  const uint8_t* stored = Stored(region);
  const uint8_t* lsb = r.lsb.data();
  const uint8_t* msb = msbProgrammed_ ? r.msb.data() : nullptr;
  // The state of a cell from its LSB and MSB bits.
  int stateOf[4];
  if (msbProgrammed_) {
    stateOf[0b00] = kStateP2;
    stateOf[0b01] = kStateP3;
    stateOf[0b10] = kStateP1;
    stateOf[0b11] = kStateEr;
  } else {
    stateOf[0b00] = stateOf[0b01] = kStateIm;
    stateOf[0b10] = stateOf[0b11] = kStateEr;
  }
  auto state = [&](uint32_t cell) {
    const uint32_t byte = cell >> 3;
    const uint32_t bit = cell & 7;
    const int l = (lsb[byte] >> bit) & 1;
    const int m = msb != nullptr ? (msb[byte] >> bit) & 1 : 1;
    return stateOf[(l << 1) | m];
  };
  if (BulkReadsStored()) {
    std::memcpy(out, stored, bytes);
  } else {
    ReadBulk(region, r, out);
  }
  for (const Tail& t : r.tails) {
    const uint8_t mask = static_cast<uint8_t>(1u << (t.cell & 7));
    if (ReadBit(state(t.cell), t.draw)) {
      out[t.cell >> 3] |= mask;
    } else {
      out[t.cell >> 3] &= static_cast<uint8_t>(~mask);
    }
  }
  return DifferingBits(out, stored, bytes);
}

int PageCells::CountErrors(int region, const ReadReferences& references) {
  scratch_.resize(RegionBytes(region));
  return Read(region, references, scratch_.data());
}

// Every cell of a region from its bulk draw, 64 cells at a time. A state
// whose bulk reads one value at these references gives its cells that value;
// only the cells of the other states need their draws.
void PageCells::ReadBulk(int region, const Region& r, uint8_t* out) const {
  const size_t bytes = RegionBytes(region);
  const uint64_t base = SplitMix64(RegionSeed(region) ^ 0xB01CB01Cull);
  // Per state: decided (and its value), or undecided.
  bool decided[kCellStates];
  uint64_t value[kCellStates];
  for (int s = 0; s < kCellStates; ++s) {
    const uint32_t low = thresholds_.bulkLow[s];
    const uint32_t high = thresholds_.bulkHigh[s];
    if (low >= high || low >= kNever || high == 0) {  // every hash lies below low or from high up
      decided[s] = true;
      value[s] = ~0ull;
    } else if (low == 0 && high >= kNever) {  // every hash lies in [low, high)
      decided[s] = true;
      value[s] = 0;
    } else {
      decided[s] = false;
      value[s] = 0;
    }
  }
  // Thresholds by the cell's (LSB bit, MSB bit) code.
  uint32_t lowOf[4];
  uint32_t highOf[4];
  int stateOf[4];
  if (msbProgrammed_) {
    stateOf[0b00] = kStateP2;
    stateOf[0b01] = kStateP3;
    stateOf[0b10] = kStateP1;
    stateOf[0b11] = kStateEr;
  } else {
    stateOf[0b00] = stateOf[0b01] = kStateIm;
    stateOf[0b10] = stateOf[0b11] = kStateEr;
  }
  for (int code = 0; code < 4; ++code) {
    lowOf[code] = thresholds_.bulkLow[stateOf[code]];
    highOf[code] = thresholds_.bulkHigh[stateOf[code]];
  }
  for (size_t k = 0; k < bytes; k += 8) {
    const size_t n = std::min<size_t>(8, bytes - k);
    uint64_t l = ~0ull;
    uint64_t m = ~0ull;
    std::memcpy(&l, r.lsb.data() + k, n);
    if (msbProgrammed_) std::memcpy(&m, r.msb.data() + k, n);
    uint64_t members[4];
    members[0b11] = l & m;
    members[0b10] = l & ~m;
    members[0b00] = ~l & ~m;
    members[0b01] = ~l & m;
    uint64_t word = 0;
    uint64_t undecided = 0;
    for (int code = 0; code < 4; ++code) {
      const int s = stateOf[code];
      if (decided[s]) {
        word |= members[code] & value[s];
      } else {
        undecided |= members[code];
      }
    }
    uint16_t h[64];
    uint32_t made = 0;
    while (undecided != 0) {
      const int j = __builtin_ctzll(undecided);
      undecided &= undecided - 1;
      const int q = j >> 2;
      if (((made >> q) & 1u) == 0) {
        const uint64_t x = SplitMix64(base + 2 * k + static_cast<uint64_t>(q));
        std::memcpy(h + 4 * q, &x, 8);
        made |= 1u << q;
      }
      const int code = static_cast<int>((((l >> j) & 1) << 1) | ((m >> j) & 1));
      const uint64_t one = (h[j] < lowOf[code]) | (h[j] >= highOf[code]);
      word |= one << j;
    }
    std::memcpy(out + k, &word, n);
  }
}

}  // namespace dozered::sim
