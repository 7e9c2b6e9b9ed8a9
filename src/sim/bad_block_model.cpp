#include "sim/bad_block_model.h"

#include <algorithm>
#include <cmath>
#include <tuple>

#include "sim/sim_hash.h"

namespace dozered::sim {
namespace {

bool IsReserved(int fblock, const FlashGeometry& g) {
  // The system blocks at the start of every die are guaranteed good.
  return IsSystemFBlock(fblock, g);
}

}  // namespace

BadBlockModel::BadBlockModel(const DriveConfig& config, const FlashLayout& layout, const WearModel& wear)
    : layout_(layout) {
  const FlashGeometry& g = layout.geometry();
  const int fblocks = g.TotalFBlocks();
  fblockBad_.assign(static_cast<size_t>(std::max(fblocks, 0)), 0);
  physicalBad_.assign(static_cast<size_t>(std::max(layout.PhysicalBlockCount(), 0)), 0);
  physicalRetired_.assign(physicalBad_.size(), 0);
  seed_ = config.seed;
  eta_ = 3.2 * std::max(config.ratedCycles, 1);
  if (fblocks <= 0 || g.channels <= 0 || g.planes <= 0) return;

  // Per-drive rate: lognormal with a median of 1.2 %, capped at 2 %.
  const uint64_t seed = config.seed;
  const double z = NormalFromHash(Hash(seed, HashDomain::kFactoryBad, ~0ull, 0), Hash(seed, HashDomain::kFactoryBad, ~0ull, 1));
  rate_ = std::clamp(0.012 * std::exp(0.3 * z), 0.006, 0.02);

  for (int b = 0; b < fblocks; ++b) {
    if (IsReserved(b, g)) continue;
    const uint64_t h = Hash(seed, HashDomain::kFactoryBad, static_cast<uint64_t>(b), 0);
    if (UnitFromHash(h) >= rate_) continue;
    const uint64_t p = Hash(seed, HashDomain::kFactoryBad, static_cast<uint64_t>(b), 1);
    FactoryBadBlock e;
    e.fblock = static_cast<uint16_t>(b);
    e.channel = static_cast<uint8_t>(p % static_cast<uint64_t>(g.channels));
    const int ceOffset = static_cast<int>((p >> 8) % static_cast<uint64_t>(g.interleaveWays));
    e.ce = static_cast<uint8_t>((b / g.blocksPerCe) * g.interleaveWays + ceOffset);
    e.plane = static_cast<uint8_t>((p >> 16) % static_cast<uint64_t>(g.planes));
    e.pretest = ((p >> 24) % 4) == 0;
    factory_.push_back(e);
    if (g.planes > 1 && ((p >> 32) % 10) == 0) {  // the partner plane's block is bad too
      FactoryBadBlock partner = e;
      partner.plane = static_cast<uint8_t>(e.plane ^ 1);
      if (partner.plane < g.planes) factory_.push_back(partner);
    }
    fblockBad_[static_cast<size_t>(b)] = 1;
  }
  std::sort(factory_.begin(), factory_.end(), [](const FactoryBadBlock& a, const FactoryBadBlock& b) {
    return std::tie(a.channel, a.ce, a.plane, a.fblock) < std::tie(b.channel, b.ce, b.plane, b.fblock);
  });
  for (const FactoryBadBlock& e : factory_) {
    PhysicalBlock pb;
    pb.channel = e.channel;
    pb.ce = e.ce;
    pb.plane = e.plane;
    pb.blockInCe = e.fblock % g.blocksPerCe;
    physicalBad_[static_cast<size_t>(layout.BlockIndex(pb))] = 1;
  }

  // Blocks retired while in use: every fail reason at least once, on a drive
  // large enough to have lost a few (one in 64 data blocks at most).
  static constexpr uint8_t kReasons[] = {kFailErase, kFailProgram, kFailReadEcc, kFailEarlyRetire};
  const int runTimeCount = std::min(4 + static_cast<int>(Hash(seed, HashDomain::kRunTimeBad, ~0ull) % 7),
                                    (fblocks - fblocks / g.blocksPerCe * kEraseCountStartBlock) / 64);
  uint64_t probe = 0;
  for (int k = 0; k < runTimeCount && probe < static_cast<uint64_t>(fblocks) * 4; ++probe) {
    const uint64_t h = Hash(seed, HashDomain::kRunTimeBad, probe, 0);
    const int b = static_cast<int>(h % static_cast<uint64_t>(fblocks));
    if (IsReserved(b, g) || fblockBad_[static_cast<size_t>(b)]) continue;
    const uint64_t q = Hash(seed, HashDomain::kRunTimeBad, probe, 1);
    RunTimeBadBlock e;
    e.fblock = static_cast<uint16_t>(b);
    e.reason = k < 4 ? kReasons[k] : kReasons[q % 4];
    e.eraseCount = static_cast<uint16_t>(wear.BaseEraseCount(b) + (q >> 8) % 40);
    e.channel = static_cast<uint8_t>((q >> 16) % static_cast<uint64_t>(g.channels));
    e.ceOffset = static_cast<uint8_t>((q >> 24) % static_cast<uint64_t>(g.interleaveWays));
    e.plane = static_cast<uint8_t>((q >> 32) % static_cast<uint64_t>(g.planes));
    e.page = static_cast<uint16_t>((q >> 40) % static_cast<uint64_t>(std::min(g.pagesPerBlock, 4096)));
    if (e.reason == kFailErase) {
      e.failMask = static_cast<uint16_t>(1u << (4 * e.channel + e.ceOffset));
      if ((q >> 56) % 3 == 0) {  // the neighbouring die of the same channel failed as well
        const int other = (e.ceOffset + 1) % g.interleaveWays;
        e.failMask = static_cast<uint16_t>(e.failMask | (1u << (4 * e.channel + other)));
      }
    }
    runTime_.push_back(e);
    fblockBad_[static_cast<size_t>(b)] = 1;
    ++k;
    // The blocks it names carry the bad mark and take no erase or program:
    // an erase fail names dies (all their planes), the others one block.
    for (int ch = 0; ch < g.channels; ++ch) {
      for (int way = 0; way < g.interleaveWays; ++way) {
        for (int plane = 0; plane < g.planes; ++plane) {
          const bool named = e.reason == kFailErase ? ((e.failMask >> ((4 * ch + way) & 15)) & 1) != 0
                                                    : ch == e.channel && way == e.ceOffset && plane == e.plane;
          if (named) physicalRetired_[static_cast<size_t>(layout.BlockIndex(layout.BlockOfFBlock(b, ch, way, plane)))] = 1;
        }
      }
    }
  }
  historyCount_ = runTime_.size();
}

bool BadBlockModel::IsFBlockBad(int fblock) const {
  return fblock >= 0 && fblock < static_cast<int>(fblockBad_.size()) && fblockBad_[static_cast<size_t>(fblock)];
}

bool BadBlockModel::IsPhysicalBlockFactoryBad(const PhysicalBlock& b) const {
  const int i = layout_.BlockIndex(b);
  return i >= 0 && i < static_cast<int>(physicalBad_.size()) && physicalBad_[static_cast<size_t>(i)];
}

bool BadBlockModel::IsPhysicalBlockRetired(const PhysicalBlock& b) const {
  const int i = layout_.BlockIndex(b);
  return i >= 0 && i < static_cast<int>(physicalRetired_.size()) && physicalRetired_[static_cast<size_t>(i)];
}

uint32_t BadBlockModel::Endurance(const PhysicalBlock& b) const {
  const uint64_t index = static_cast<uint64_t>(layout_.BlockIndex(b));
  double u = UnitFromHash(Hash(seed_, HashDomain::kEndurance, index, 0));
  if (u < 1e-12) u = 1e-12;
  const bool infant = UnitFromHash(Hash(seed_, HashDomain::kEndurance, index, 1)) < 0.0005;
  const double eta = infant ? 300.0 : eta_;
  return static_cast<uint32_t>(eta * std::cbrt(-std::log(u)));
}

bool BadBlockModel::WearsOutOnProgram(const PhysicalBlock& b) const {
  return Hash(seed_, HashDomain::kEndurance, static_cast<uint64_t>(layout_.BlockIndex(b)), 2) % 4 == 0;
}

int BadBlockModel::WearOutPage(const PhysicalBlock& b) const {
  const uint64_t pages = static_cast<uint64_t>(std::max(layout_.geometry().pagesPerBlock, 1));
  return static_cast<int>(Hash(seed_, HashDomain::kEndurance, static_cast<uint64_t>(layout_.BlockIndex(b)), 3) % pages);
}

void BadBlockModel::Retire(const PhysicalBlock& b, const RunTimeBadBlock& entry) {
  const int i = layout_.BlockIndex(b);
  if (i < 0 || i >= static_cast<int>(physicalRetired_.size()) || physicalRetired_[static_cast<size_t>(i)]) return;
  physicalRetired_[static_cast<size_t>(i)] = 1;
  runTime_.push_back(entry);
  retiredThisLife_.push_back(i);
  if (entry.fblock < fblockBad_.size()) fblockBad_[entry.fblock] = 1;
}

void BadBlockModel::Save(std::vector<uint8_t>& out) const {
  auto put = [&out](uint64_t v, int bytes) {
    for (int k = 0; k < bytes; ++k) out.push_back(static_cast<uint8_t>(v >> (8 * k)));
  };
  put(retiredThisLife_.size(), 4);
  for (size_t k = 0; k < retiredThisLife_.size(); ++k) {
    const RunTimeBadBlock& e = runTime_[historyCount_ + k];
    put(static_cast<uint32_t>(retiredThisLife_[k]), 4);
    put(e.fblock, 2);
    put(e.reason, 1);
    put(e.failMask, 2);
    put(e.page, 2);
    put(e.ceOffset, 1);
    put(e.channel, 1);
    put(e.plane, 1);
    put(e.eraseCount, 2);
  }
}

bool BadBlockModel::Load(const uint8_t* data, size_t length) {
  size_t at = 0;
  auto get = [&](int bytes, uint64_t* v) {
    if (length - at < static_cast<size_t>(bytes)) return false;
    *v = 0;
    for (int k = 0; k < bytes; ++k) *v |= static_cast<uint64_t>(data[at + static_cast<size_t>(k)]) << (8 * k);
    at += static_cast<size_t>(bytes);
    return true;
  };
  uint64_t count = 0;
  if (!get(4, &count)) return false;
  for (uint64_t k = 0; k < count; ++k) {
    uint64_t index, fblock, reason, mask, page, ceOffset, channel, plane, eraseCount;
    if (!get(4, &index) || !get(2, &fblock) || !get(1, &reason) || !get(2, &mask) || !get(2, &page) ||
        !get(1, &ceOffset) || !get(1, &channel) || !get(1, &plane) || !get(2, &eraseCount)) {
      return false;
    }
    if (index >= physicalRetired_.size()) return false;
    RunTimeBadBlock e;
    e.fblock = static_cast<uint16_t>(fblock);
    e.reason = static_cast<uint8_t>(reason);
    e.failMask = static_cast<uint16_t>(mask);
    e.page = static_cast<uint16_t>(page);
    e.ceOffset = static_cast<uint8_t>(ceOffset);
    e.channel = static_cast<uint8_t>(channel);
    e.plane = static_cast<uint8_t>(plane);
    e.eraseCount = static_cast<uint16_t>(eraseCount);
    Retire(layout_.BlockAt(static_cast<int>(index)), e);
  }
  return at == length;
}

int BadBlockModel::OriginalCount() const {
  return static_cast<int>(std::count_if(factory_.begin(), factory_.end(), [](const FactoryBadBlock& e) { return !e.pretest; }));
}

int BadBlockModel::PretestCount() const {
  return static_cast<int>(std::count_if(factory_.begin(), factory_.end(), [](const FactoryBadBlock& e) { return e.pretest; }));
}

}  // namespace dozered::sim
