#include "sim/ftl.h"

#include <algorithm>
#include <cstring>

#include "sim/drive_model.h"
#include "sim/scrambler.h"

namespace dozered::sim {
namespace {

// The spare bytes that follow the controller's tags: the logical unit of
// every unit of the page (32 bits each, 0xFFFFFFFF for padding).
constexpr size_t kSpareUnitTags = 48;

void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t GetLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

Ftl::Ftl(DriveModel& model) : model_(model) {
  const FlashGeometry& g = model.config.geometry;
  channels_ = std::max(g.channels, 1);
  ways_ = std::max(g.interleaveWays, 1);
  planes_ = std::max(g.planes, 1);
  pagesPerBlock_ = std::max(g.pagesPerBlock, 0);
  unitsPerPage_ = static_cast<uint32_t>(std::max(g.PageBytes(), 0) / kUnitBytes);
  pagesPerStripe_ = static_cast<uint32_t>(channels_ * ways_ * planes_);
  unitsPerSuperblock_ = unitsPerPage_ * pagesPerStripe_ * static_cast<uint32_t>(pagesPerBlock_);
  logicalUnits_ = (static_cast<uint64_t>(model.identity.capacity) + kSectorsPerUnit - 1) / kSectorsPerUnit;
  map_.resize(static_cast<size_t>((logicalUnits_ + kMapChunk - 1) / kMapChunk));
  pageBuffer_.assign(static_cast<size_t>(unitsPerPage_) * kUnitBytes, 0xFF);

  superblocks_.resize(static_cast<size_t>(std::max(g.TotalFBlocks(), 0)));
  if (unitsPerSuperblock_ == 0) return;  // pages smaller than a unit: nothing to map onto
  for (int f = 0; f < static_cast<int>(superblocks_.size()); ++f) {
    if (IsSystemFBlock(f, g) || model.badBlocks.IsFBlockBad(f)) continue;
    const PhysicalBlock first = model.layout.BlockOfFBlock(f, 0, 0, 0);
    superblocks_[static_cast<size_t>(f)].state =
        model.flash.InitialContentOf(first) == InitialContent::kData ? State::kStale : State::kFree;
  }
}

Ftl::~Ftl() = default;

uint64_t Ftl::MapGet(uint64_t unit) const {
  if (unit >= logicalUnits_) return kUnmapped;
  const auto& chunk = map_[static_cast<size_t>(unit / kMapChunk)];
  return chunk ? chunk[unit % kMapChunk] : kUnmapped;
}

void Ftl::MapSet(uint64_t unit, uint64_t location) {
  auto& chunk = map_[static_cast<size_t>(unit / kMapChunk)];
  if (!chunk) {
    if (location == kUnmapped) return;
    chunk = std::make_unique<uint64_t[]>(kMapChunk);
    std::fill(chunk.get(), chunk.get() + kMapChunk, kUnmapped);
  }
  uint64_t& entry = chunk[unit % kMapChunk];
  if (entry == kUnmapped && location != kUnmapped) ++mappedUnits_;
  if (entry != kUnmapped && location == kUnmapped) --mappedUnits_;
  entry = location;
}

PhysicalPage Ftl::PageOfSlot(int fblock, uint32_t slot, int* ceOffset) const {
  const uint32_t q = slot / unitsPerPage_;
  const uint32_t position = q % pagesPerStripe_;
  const int channel = static_cast<int>(position % static_cast<uint32_t>(channels_));
  const int way = static_cast<int>((position / static_cast<uint32_t>(channels_)) % static_cast<uint32_t>(ways_));
  const int plane = static_cast<int>(position / static_cast<uint32_t>(channels_ * ways_));
  PhysicalPage p;
  p.block = model_.layout.BlockOfFBlock(fblock, channel, way, plane);
  p.page = static_cast<int>(q / pagesPerStripe_);
  if (ceOffset != nullptr) *ceOffset = way;
  return p;
}

bool Ftl::InOpenPage(uint64_t location) const {
  return bufferFill_ > 0 && location >= bufferBase_ && location < bufferBase_ + bufferFill_;
}

bool Ftl::Locate(uint64_t lba, LbaLocation* out) const {
  const uint64_t location = MapGet(lba / kSectorsPerUnit);
  if (location == kUnmapped) return false;
  const int fblock = static_cast<int>(location / unitsPerSuperblock_);
  const uint32_t slot = static_cast<uint32_t>(location % unitsPerSuperblock_);
  LbaLocation l;
  l.page = PageOfSlot(fblock, slot, &l.ceOffset);
  l.fblock = fblock;
  l.sectorInPage = static_cast<int>((slot % unitsPerPage_) * kSectorsPerUnit + lba % kSectorsPerUnit);
  l.buffered = InOpenPage(location);
  *out = l;
  return true;
}

void Ftl::ReadUnit(uint64_t location, uint8_t* out) const {
  if (InOpenPage(location)) {
    std::memcpy(out, pageBuffer_.data() + (location % unitsPerPage_) * kUnitBytes, kUnitBytes);
    return;
  }
  const int fblock = static_cast<int>(location / unitsPerSuperblock_);
  const uint32_t slot = static_cast<uint32_t>(location % unitsPerSuperblock_);
  const PhysicalPage page = PageOfSlot(fblock, slot, nullptr);
  ReadStoredData(page, (slot % unitsPerPage_) * kUnitBytes, out, kUnitBytes);
}

void Ftl::Read(uint64_t lba, uint32_t count, uint8_t* out) {
  uint8_t unit[kUnitBytes];
  while (count > 0) {
    const uint64_t u = lba / kSectorsPerUnit;
    const uint32_t first = static_cast<uint32_t>(lba % kSectorsPerUnit);
    const uint32_t n = std::min<uint32_t>(count, kSectorsPerUnit - first);
    const uint64_t location = MapGet(u);
    if (location == kUnmapped) {
      std::memset(out, 0, static_cast<size_t>(n) * 512);
    } else {
      ReadUnit(location, unit);
      std::memcpy(out, unit + static_cast<size_t>(first) * 512, static_cast<size_t>(n) * 512);
    }
    out += static_cast<size_t>(n) * 512;
    lba += n;
    count -= n;
  }
}

bool Ftl::Write(uint64_t lba, uint32_t count, const uint8_t* data) {
  uint8_t unit[kUnitBytes];
  while (count > 0) {
    const uint64_t u = lba / kSectorsPerUnit;
    const uint32_t first = static_cast<uint32_t>(lba % kSectorsPerUnit);
    const uint32_t n = std::min<uint32_t>(count, kSectorsPerUnit - first);
    if (u >= logicalUnits_) return false;
    const uint64_t location = MapGet(u);
    if (InOpenPage(location)) {
      // Still in RAM: the controller merges the new sectors there.
      uint8_t* slot = pageBuffer_.data() + (location % unitsPerPage_) * kUnitBytes;
      std::memcpy(slot + static_cast<size_t>(first) * 512, data, static_cast<size_t>(n) * 512);
    } else {
      const uint8_t* source = data;
      if (n != kSectorsPerUnit) {
        // Part of a unit: read the rest of it, then write the whole unit anew.
        if (location == kUnmapped) {
          std::memset(unit, 0, sizeof unit);
        } else {
          ReadUnit(location, unit);
        }
        std::memcpy(unit + static_cast<size_t>(first) * 512, data, static_cast<size_t>(n) * 512);
        source = unit;
      }
      if (!Append(static_cast<uint32_t>(u), source, false)) return false;
    }
    data += static_cast<size_t>(n) * 512;
    lba += n;
    count -= n;
  }
  return true;
}

void Ftl::Release(uint64_t location) {
  if (location == kUnmapped) return;
  Superblock& sb = superblocks_[static_cast<size_t>(location / unitsPerSuperblock_)];
  if (sb.owners) sb.owners[location % unitsPerSuperblock_] = kNoUnit;
  if (sb.valid > 0) --sb.valid;
}

// Host data is stored as the firmware's normal path stores it: scrambled,
// data and spare, so that a flash read with the scrambling bit of its option
// byte set shows it as the host wrote it. The spare carries the controller's
// tags (the page's first logical unit as its logical tag) and the logical
// unit of every unit.
bool Ftl::ProgramStoredPage(const PhysicalPage& page, const uint32_t* units) {
  const FlashGeometry& g = model_.config.geometry;
  if (model_.flash.IsProgrammed(page)) return false;  // written through the flash commands
  if (model_.ProgramWearsOut(page)) return false;
  pageData_.assign(static_cast<size_t>(g.PageBytes()), 0xFF);
  pageSpare_.assign(static_cast<size_t>(g.spareBytes), 0xFF);
  std::memcpy(pageData_.data(), pageBuffer_.data(), pageBuffer_.size());
  const uint64_t logicalTag = units[0] == kNoUnit ? ~0ull : units[0];
  FillSpareTags(model_.layout, page, logicalTag, model_.flash.TakeSequenceNumber(), pageSpare_.data(), pageSpare_.size());
  for (uint32_t k = 0; k < unitsPerPage_ && kSpareUnitTags + 4 * (k + 1) <= pageSpare_.size(); ++k) {
    PutLe32(pageSpare_.data() + kSpareUnitTags + 4 * k, units[k]);
  }
  ScramblePage(model_.config.seed, page.page, pageData_.data(), pageData_.size(), pageSpare_.data(), pageSpare_.size());
  return model_.flash.Program(page, 0, pageData_.data(), pageData_.size(), pageSpare_.data());
}

void Ftl::ReadStoredData(const PhysicalPage& page, size_t offset, uint8_t* out, size_t length) const {
  model_.flash.ReadData(page, offset, out, length);
  ScrambleData(model_.config.seed, page.page, offset, out, length);
}

bool Ftl::Append(uint32_t unit, const uint8_t* data, bool collecting) {
  if (readOnly_ || !EnsureOpen(collecting)) return false;
  Superblock& sb = superblocks_[static_cast<size_t>(open_)];
  const uint32_t slot = writeSlot_++;
  const uint64_t location = static_cast<uint64_t>(open_) * unitsPerSuperblock_ + slot;
  if (slot % unitsPerPage_ == 0) bufferBase_ = location;
  bufferFill_ = slot % unitsPerPage_ + 1;
  std::memcpy(pageBuffer_.data() + (slot % unitsPerPage_) * kUnitBytes, data, kUnitBytes);
  Release(MapGet(unit));
  MapSet(unit, location);
  sb.owners[slot] = unit;
  ++sb.valid;
  if (writeSlot_ % unitsPerPage_ == 0) return ProgramOpenPage();
  return true;
}

bool Ftl::EnsureOpen(bool collecting) {
  if (unitsPerSuperblock_ == 0) return false;
  if (open_ >= 0 && writeSlot_ < unitsPerSuperblock_) return true;
  if (open_ >= 0) {
    superblocks_[static_cast<size_t>(open_)].state = State::kClosed;
    open_ = -1;
  }
  if (!collecting) {
    // Keep two free superblocks: one for the host, one for garbage
    // collection to move valid units into.
    while (FreeCount() < 2 && CollectOne()) {
    }
    if (open_ >= 0 && writeSlot_ < unitsPerSuperblock_) return true;  // collection left room
    if (open_ >= 0) {
      superblocks_[static_cast<size_t>(open_)].state = State::kClosed;
      open_ = -1;
    }
  }
  return OpenSuperblock();
}

int Ftl::FreeCount() const {
  int n = 0;
  for (const Superblock& sb : superblocks_) n += sb.state == State::kFree ? 1 : 0;
  return n;
}

bool Ftl::OpenSuperblock() {
  int best = -1;
  uint32_t bestCount = 0;
  for (int f = 0; f < static_cast<int>(superblocks_.size()); ++f) {
    if (superblocks_[static_cast<size_t>(f)].state != State::kFree) continue;
    const uint32_t count = model_.EraseCountOf(f);
    if (best < 0 || count < bestCount) {
      best = f;
      bestCount = count;
    }
  }
  if (best < 0) {
    readOnly_ = true;
    return false;
  }
  Superblock& sb = superblocks_[static_cast<size_t>(best)];
  sb.state = State::kOpen;
  sb.valid = 0;
  sb.owners = std::make_unique<uint32_t[]>(unitsPerSuperblock_);
  std::fill(sb.owners.get(), sb.owners.get() + unitsPerSuperblock_, kNoUnit);
  open_ = best;
  writeSlot_ = 0;
  return true;
}

bool Ftl::ProgramOpenPage() {
  // The units of the page in the buffer, by their position in the page.
  std::vector<uint32_t> units(unitsPerPage_);
  for (;;) {
    const int from = static_cast<int>(bufferBase_ / unitsPerSuperblock_);
    const uint32_t pageStart = static_cast<uint32_t>(bufferBase_ % unitsPerSuperblock_);
    Superblock& sb = superblocks_[static_cast<size_t>(from)];
    for (uint32_t k = 0; k < unitsPerPage_; ++k) units[k] = sb.owners[pageStart + k];
    const PhysicalPage page = PageOfSlot(from, pageStart, nullptr);
    if (ProgramStoredPage(page, units.data())) {
      ++pagesProgrammed_;
      bufferFill_ = 0;
      if (writeSlot_ >= unitsPerSuperblock_) {
        sb.state = State::kClosed;
        open_ = -1;
      }
      return true;
    }
    // The page refused the program: the block wore out (and was retired), or
    // the page was written through the flash commands. The buffered units
    // move on to the next page, or to a new superblock.
    const bool bad = model_.badBlocks.IsFBlockBad(from);
    uint32_t next = writeSlot_;
    if (bad || next + unitsPerPage_ > unitsPerSuperblock_) {
      sb.state = bad ? State::kBad : State::kClosed;
      open_ = -1;
      // No room left anywhere: the units stay in RAM, readable, and the
      // drive takes no more writes.
      if (!OpenSuperblock()) return false;
      next = 0;
    }
    Superblock& target = superblocks_[static_cast<size_t>(open_)];
    Superblock& source = superblocks_[static_cast<size_t>(from)];
    const uint64_t base = static_cast<uint64_t>(open_) * unitsPerSuperblock_ + next;
    for (uint32_t k = 0; k < unitsPerPage_; ++k) {
      const uint32_t unit = units[k];
      source.owners[pageStart + k] = kNoUnit;
      if (unit == kNoUnit || MapGet(unit) != bufferBase_ + k) continue;
      if (source.valid > 0) --source.valid;
      MapSet(unit, base + k);
      target.owners[next + k] = unit;
      ++target.valid;
    }
    bufferBase_ = base;
    writeSlot_ = next + unitsPerPage_;
  }
}

bool Ftl::Flush() {
  if (open_ < 0 || bufferFill_ == 0 || bufferFill_ == unitsPerPage_) return false;
  std::memset(pageBuffer_.data() + bufferFill_ * kUnitBytes, 0xFF, (unitsPerPage_ - bufferFill_) * kUnitBytes);
  writeSlot_ += unitsPerPage_ - bufferFill_;
  bufferFill_ = unitsPerPage_;
  ProgramOpenPage();
  if (journal_ != nullptr) journal_->OnFtlFlush();
  return true;
}

bool Ftl::CollectOne() {
  int victim = -1;
  for (int f = 0; f < static_cast<int>(superblocks_.size()); ++f) {
    const Superblock& sb = superblocks_[static_cast<size_t>(f)];
    if (sb.state != State::kClosed && sb.state != State::kStale) continue;
    if (victim < 0 || sb.valid < superblocks_[static_cast<size_t>(victim)].valid) victim = f;
  }
  if (victim < 0 || superblocks_[static_cast<size_t>(victim)].valid >= unitsPerSuperblock_) return false;
  Superblock& sb = superblocks_[static_cast<size_t>(victim)];
  uint8_t unit[kUnitBytes];
  if (sb.owners) {
    const uint64_t base = static_cast<uint64_t>(victim) * unitsPerSuperblock_;
    for (uint32_t slot = 0; slot < unitsPerSuperblock_ && sb.valid > 0; ++slot) {
      const uint32_t owner = sb.owners[slot];
      if (owner == kNoUnit || MapGet(owner) != base + slot) continue;
      ReadUnit(base + slot, unit);
      if (!Append(owner, unit, true)) return false;
      ++unitsRelocated_;
    }
  }
  EraseSuperblock(victim);
  return true;
}

void Ftl::EraseSuperblock(int fblock) {
  Superblock& sb = superblocks_[static_cast<size_t>(fblock)];
  for (int ch = 0; ch < channels_; ++ch) {
    for (int way = 0; way < ways_; ++way) {
      for (int plane = 0; plane < planes_; ++plane) {
        const PhysicalBlock b = model_.layout.BlockOfFBlock(fblock, ch, way, plane);
        if (model_.flash.Erase(b)) model_.EraseWearsOut(b);
      }
    }
  }
  ++superblocksErased_;
  sb.owners.reset();
  sb.valid = 0;
  sb.state = model_.badBlocks.IsFBlockBad(fblock) ? State::kBad : State::kFree;
}

FtlStatistics Ftl::Statistics() const {
  FtlStatistics s;
  s.mappedUnits = mappedUnits_;
  for (const Superblock& sb : superblocks_) {
    if (sb.state == State::kFree) ++s.freeSuperblocks;
    if (sb.state != State::kUnusable && sb.state != State::kBad) ++s.usableSuperblocks;
  }
  s.pagesProgrammed = pagesProgrammed_;
  s.unitsRelocated = unitsRelocated_;
  s.superblocksErased = superblocksErased_;
  return s;
}

}  // namespace dozered::sim

namespace dozered::sim {

// Snapshot layout: geometry check, the open superblock and its page buffer,
// the counters, then every superblock's state and, where it holds data, the
// logical unit of each of its slots. The map follows from those.
void Ftl::Save(std::vector<uint8_t>& out) const {
  auto put = [&out](uint64_t v, int bytes) {
    for (int k = 0; k < bytes; ++k) out.push_back(static_cast<uint8_t>(v >> (8 * k)));
  };
  put(superblocks_.size(), 4);
  put(unitsPerSuperblock_, 4);
  put(static_cast<uint32_t>(open_), 4);
  put(writeSlot_, 4);
  put(bufferBase_, 8);
  put(bufferFill_, 4);
  put(readOnly_ ? 1 : 0, 1);
  put(pagesProgrammed_, 8);
  put(unitsRelocated_, 8);
  put(superblocksErased_, 8);
  out.insert(out.end(), pageBuffer_.begin(), pageBuffer_.end());
  for (const Superblock& sb : superblocks_) {
    put(static_cast<uint8_t>(sb.state), 1);
    put(sb.owners ? 1 : 0, 1);
    if (!sb.owners) continue;
    const size_t at = out.size();
    out.resize(at + 4 * static_cast<size_t>(unitsPerSuperblock_));
    for (uint32_t slot = 0; slot < unitsPerSuperblock_; ++slot) PutLe32(out.data() + at + 4 * slot, sb.owners[slot]);
  }
}

bool Ftl::Load(const uint8_t* data, size_t length) {
  size_t at = 0;
  auto get = [&](int bytes, uint64_t* v) {
    if (length - at < static_cast<size_t>(bytes)) return false;
    *v = 0;
    for (int k = 0; k < bytes; ++k) *v |= static_cast<uint64_t>(data[at + static_cast<size_t>(k)]) << (8 * k);
    at += static_cast<size_t>(bytes);
    return true;
  };
  uint64_t count, units, open, slot, bufferBase, bufferFill, readOnly, programmed, relocated, erased;
  if (!get(4, &count) || !get(4, &units) || !get(4, &open) || !get(4, &slot) || !get(8, &bufferBase) ||
      !get(4, &bufferFill) || !get(1, &readOnly) ||
      !get(8, &programmed) || !get(8, &relocated) || !get(8, &erased)) {
    return false;
  }
  if (count != superblocks_.size() || units != unitsPerSuperblock_ || length - at < pageBuffer_.size()) return false;
  const int openIndex = static_cast<int>(static_cast<int32_t>(static_cast<uint32_t>(open)));
  if (openIndex >= static_cast<int>(count) || slot > unitsPerSuperblock_ || bufferFill > unitsPerPage_ ||
      (bufferFill > 0 && bufferBase / unitsPerSuperblock_ >= count)) {
    return false;
  }
  std::memcpy(pageBuffer_.data(), data + at, pageBuffer_.size());
  at += pageBuffer_.size();
  for (auto& chunk : map_) chunk.reset();
  mappedUnits_ = 0;
  for (size_t f = 0; f < superblocks_.size(); ++f) {
    Superblock& sb = superblocks_[f];
    uint64_t state, hasOwners;
    if (!get(1, &state) || !get(1, &hasOwners) || state > static_cast<uint8_t>(State::kBad)) return false;
    sb.state = static_cast<State>(state);
    sb.valid = 0;
    sb.owners.reset();
    if (hasOwners == 0) continue;
    if (length - at < 4 * static_cast<size_t>(unitsPerSuperblock_)) return false;
    sb.owners = std::make_unique<uint32_t[]>(unitsPerSuperblock_);
    for (uint32_t s = 0; s < unitsPerSuperblock_; ++s) {
      const uint32_t unit = GetLe32(data + at + 4 * static_cast<size_t>(s));
      sb.owners[s] = unit;
      if (unit == kNoUnit || unit >= logicalUnits_) {
        sb.owners[s] = kNoUnit;
        continue;
      }
      Release(MapGet(unit));
      MapSet(unit, static_cast<uint64_t>(f) * unitsPerSuperblock_ + s);
      ++sb.valid;
    }
    at += 4 * static_cast<size_t>(unitsPerSuperblock_);
  }
  open_ = openIndex;
  writeSlot_ = static_cast<uint32_t>(slot);
  bufferBase_ = bufferBase;
  bufferFill_ = static_cast<uint32_t>(bufferFill);
  if (open_ >= 0 && (superblocks_[static_cast<size_t>(open_)].state != State::kOpen ||
                     !superblocks_[static_cast<size_t>(open_)].owners)) {
    return false;
  }
  // The buffered page starts a page of a superblock that holds data.
  if (bufferFill_ > 0 && (bufferBase_ % unitsPerPage_ != 0 ||
                          !superblocks_[static_cast<size_t>(bufferBase_ / unitsPerSuperblock_)].owners)) {
    return false;
  }
  readOnly_ = readOnly != 0;
  pagesProgrammed_ = programmed;
  unitsRelocated_ = relocated;
  superblocksErased_ = erased;
  return at == length;
}

}  // namespace dozered::sim
