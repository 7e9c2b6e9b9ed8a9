#include "sim/flash_store.h"

#include <algorithm>
#include <cstring>

#include "sim/scrambler.h"
#include "sim/sim_hash.h"
#include "sim/wear_model.h"

namespace dozered::sim {
namespace {

void PutLe64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// `length` bytes from byte `offset` of the hash stream that starts at `start`:
// word k of the stream is SplitMix64(start + k), so any part can be made alone.
void FillHashStream(uint64_t start, size_t offset, uint8_t* out, size_t length) {
  size_t done = 0;
  while (done < length) {
    const size_t at = offset + done;
    const uint64_t word = SplitMix64(start + at / 8);
    const size_t skip = at % 8;
    const size_t n = std::min(length - done, 8 - skip);
    std::memcpy(out + done, reinterpret_cast<const uint8_t*>(&word) + skip, n);
    done += n;
  }
}

// Index of a program-order page among the LSB pages, or -1.
int LsbIndex(int page) {
  if (page == 0) return 0;
  if (page % 2 == 1) return (page + 1) / 2;
  return -1;
}

}  // namespace

void FillSpareTags(const FlashLayout& layout, const PhysicalPage& page, uint64_t logicalTag, uint64_t sequence,
                   uint8_t* spare, size_t spareBytes) {
  std::memset(spare, 0xFF, spareBytes);
  if (spareBytes < static_cast<size_t>(kSpareSequence + 8)) return;
  spare[kSpareBadMark] = 0xFF;
  const int fblock = layout.FBlockOf(page.block);
  spare[1] = 0x5A;
  spare[2] = static_cast<uint8_t>(fblock);
  spare[3] = static_cast<uint8_t>(fblock >> 8);
  spare[4] = static_cast<uint8_t>(page.page);
  spare[5] = static_cast<uint8_t>(page.page >> 8);
  spare[6] = static_cast<uint8_t>(page.block.plane | (page.block.ce << 2) | (page.block.channel << 5));
  for (int i = 7; i < kSpareLogicalPage; ++i) spare[i] = 0x00;
  PutLe64(spare + kSpareLogicalPage, logicalTag);
  PutLe64(spare + kSpareSequence, sequence);
}

uint64_t PhysicalPageTag(const FlashLayout& layout, const PhysicalPage& page) {
  const uint32_t logicalPage = static_cast<uint32_t>(layout.FBlockOf(page.block)) *
                                   static_cast<uint32_t>(layout.geometry().pagesPerBlock) +
                               static_cast<uint32_t>(page.page);
  return static_cast<uint64_t>(logicalPage) | (static_cast<uint64_t>(layout.BlockIndex(page.block)) << 32);
}

FlashStore::FlashStore(const DriveConfig& config, const FlashLayout& layout, const BadBlockModel& badBlocks)
    : seed_(config.seed),
      layout_(layout),
      badBlocks_(badBlocks),
      fill_(config.averageEraseCount > 0 ? 0.6 : 0.0),
      ispPages_(10 + static_cast<int>(Hash(config.seed, HashDomain::kRecords, 0x15B) % 8)),
      infoPages_(4 + static_cast<int>(Hash(config.seed, HashDomain::kRecords, 0x1F0) % 4)),
      pageBytes_(static_cast<size_t>(layout.geometry().PageBytes())),
      spareBytes_(static_cast<size_t>(layout.geometry().spareBytes)),
      nextSequence_(0x100000 + static_cast<uint64_t>(layout.geometry().TotalFBlocks()) * 4096),
      initialAgeHours_(std::max(config.dataAgeHours, 0)),
      blocks_(static_cast<size_t>(std::max(layout.PhysicalBlockCount(), 0))),
      fblockErases_(static_cast<size_t>(std::max(layout.geometry().TotalFBlocks(), 0)), 0) {}

InitialContent FlashStore::InitialContentOf(const PhysicalBlock& block) const {
  if (badBlocks_.IsPhysicalBlockFactoryBad(block)) return InitialContent::kFactoryBad;
  // The code and information blocks sit at the same block numbers on every die.
  const int fblock = layout_.FBlockOf(block);
  if (block.blockInCe == kIspBlocks[0] || block.blockInCe == kIspBlocks[1]) return InitialContent::kIspCode;
  if (block.blockInCe == kInfoBlocks[0] || block.blockInCe == kInfoBlocks[1]) return InitialContent::kInfoRecords;
  if (IsSystemFBlock(fblock, layout_.geometry()) || badBlocks_.IsFBlockBad(fblock)) return InitialContent::kErased;
  const uint64_t h = Hash(seed_, HashDomain::kPreAgedData, static_cast<uint64_t>(fblock), ~0ull);
  return UnitFromHash(h) < fill_ ? InitialContent::kData : InitialContent::kErased;
}

// The controller wrote everything the drive arrived with scrambled, except the
// factory's bad-block marks; the data are a hash stream (scrambled data look
// like noise) and the spare areas carry their tags.
bool FlashStore::InitialPage(const PhysicalPage& page, uint8_t* spare) const {
  const BlockState& state = blocks_[static_cast<size_t>(layout_.BlockIndex(page.block))];
  if (state.erased) return false;
  const InitialContent content = InitialContentOf(page.block);
  switch (content) {
    case InitialContent::kErased:
      return false;
    case InitialContent::kFactoryBad:
      if (page.page != 0 && page.page != layout_.geometry().pagesPerBlock - 1) return false;
      if (spare == nullptr) return true;
      // The flash maker's mark: the whole spare area written with 0x00, not
      // scrambled, so that a block scan lists the block as bad.
      std::memset(spare, 0x00, spareBytes_);
      return true;
    case InitialContent::kData: {
      if (spare == nullptr) return true;
      const int fblock = layout_.FBlockOf(page.block);
      FillSpareTags(layout_, page, PhysicalPageTag(layout_, page),
                    static_cast<uint64_t>(fblock) * 4096 + static_cast<uint64_t>(page.page), spare, spareBytes_);
      ScrambleSpare(seed_, page.page, pageBytes_, spare, spareBytes_);
      return true;
    }
    case InitialContent::kIspCode:
    case InitialContent::kInfoRecords: {
      const int index = LsbIndex(page.page);
      const int count = content == InitialContent::kIspCode ? ispPages_ : infoPages_;
      if (index < 0 || index >= count) return false;
      if (spare == nullptr) return true;
      FillSpareTags(layout_, page, PhysicalPageTag(layout_, page), static_cast<uint64_t>(index), spare, spareBytes_);
      if (content == InitialContent::kIspCode) {
        spare[kSpareLogicalPage] = kSpareIspMarker;
      } else {
        spare[kSpareBadMark] = kSpareInfoMarker;
      }
      ScrambleSpare(seed_, page.page, pageBytes_, spare, spareBytes_);
      return true;
    }
  }
  return false;
}

void FlashStore::InitialData(const PhysicalPage& page, size_t offset, uint8_t* out, size_t length) const {
  const InitialContent content = InitialContentOf(page.block);
  if (content == InitialContent::kData) {
    FillHashStream(Hash(seed_, HashDomain::kPreAgedData, layout_.PageKey(page), 0), offset, out, length);
  } else if (content == InitialContent::kIspCode || content == InitialContent::kInfoRecords) {
    // Both copies of a code or information block hold the same content.
    const uint64_t contentKey = (static_cast<uint64_t>(content == InitialContent::kIspCode) << 32) |
                                (static_cast<uint64_t>(LsbIndex(page.page)) << 8) |
                                static_cast<uint64_t>(page.block.plane);
    FillHashStream(Hash(seed_, HashDomain::kPreAgedData, contentKey, 1), offset, out, length);
  } else {
    std::memset(out, 0xFF, length);
  }
}

PageInfo FlashStore::Info(const PhysicalPage& page) const {
  PageInfo info;
  const auto it = pages_.find(layout_.PageKey(page));
  if (it != pages_.end()) {
    info.programmed = true;
    info.dataBytes = it->second.data.size();
    info.spare = it->second.spare != nullptr;
    info.programmedAtHours = it->second.programmedAtHours;
    info.afterHigherPage = it->second.afterHigherPage;
    return info;
  }
  if (!InitialPage(page, nullptr)) return info;
  // A factory-bad page holds nothing but its mark in the spare area.
  const bool factoryBad = InitialContentOf(page.block) == InitialContent::kFactoryBad;
  info.programmed = true;
  info.dataBytes = factoryBad ? 0 : pageBytes_;
  info.spare = true;
  info.programmedAtHours = -initialAgeHours_;
  return info;
}

void FlashStore::ReadData(const PhysicalPage& page, size_t offset, uint8_t* out, size_t length) const {
  const size_t inPage = offset < pageBytes_ ? std::min(length, pageBytes_ - offset) : 0;
  if (inPage < length) std::memset(out + inPage, 0xFF, length - inPage);
  if (inPage == 0) return;
  const auto it = pages_.find(layout_.PageKey(page));
  if (it != pages_.end()) {
    const std::vector<uint8_t>& d = it->second.data;
    const size_t have = offset < d.size() ? std::min(inPage, d.size() - offset) : 0;
    if (have > 0) std::memcpy(out, d.data() + offset, have);
    if (have < inPage) std::memset(out + have, 0xFF, inPage - have);
    return;
  }
  if (InitialPage(page, nullptr)) {
    InitialData(page, offset, out, inPage);
  } else {
    std::memset(out, 0xFF, inPage);
  }
}

void FlashStore::ReadSpare(const PhysicalPage& page, uint8_t* spare) const {
  const auto it = pages_.find(layout_.PageKey(page));
  if (it != pages_.end()) {
    if (it->second.spare) {
      std::memcpy(spare, it->second.spare.get(), spareBytes_);
    } else {
      std::memset(spare, 0xFF, spareBytes_);
    }
  } else if (!InitialPage(page, spare)) {
    std::memset(spare, 0xFF, spareBytes_);
  }
  // A block retired in use carries the bad mark on its first and last page.
  if ((page.page == 0 || page.page == layout_.geometry().pagesPerBlock - 1) && badBlocks_.IsPhysicalBlockRetired(page.block)) {
    spare[kSpareBadMark] = 0x00;
  }
}

void FlashStore::ReadPage(const PhysicalPage& page, uint8_t* data, uint8_t* spare) const {
  ReadData(page, 0, data, pageBytes_);
  ReadSpare(page, spare);
}

void FlashStore::StoreData(StoredPage& stored, size_t offset, const uint8_t* data, size_t length) {
  if (offset >= pageBytes_ || length == 0) return;
  const size_t n = std::min(length, pageBytes_ - offset);
  const size_t before = stored.data.size();
  if (before < offset + n) stored.data.resize(offset + n, 0xFF);
  storedBytes_ += stored.data.size() - before;
  std::memcpy(stored.data.data() + offset, data, n);
}

bool FlashStore::Program(const PhysicalPage& page, size_t offset, const uint8_t* data, size_t length,
                         const uint8_t* spare) {
  openPage_ = ~0ull;
  if (badBlocks_.IsPhysicalBlockFactoryBad(page.block) || badBlocks_.IsPhysicalBlockRetired(page.block)) return false;
  if (IsProgrammed(page)) return false;
  const uint64_t key = layout_.PageKey(page);
  BlockState& block = blocks_[static_cast<size_t>(layout_.BlockIndex(page.block))];
  StoredPage& stored = pages_[key];
  stored.programmedAtHours = clockHours_;
  stored.afterHigherPage = page.page < block.highestPage;
  block.highestPage = std::max(block.highestPage, page.page);
  StoreData(stored, offset, data, length);
  if (spare != nullptr) {
    stored.spare = std::make_unique<uint8_t[]>(spareBytes_);
    std::memcpy(stored.spare.get(), spare, spareBytes_);
    storedBytes_ += spareBytes_;
  }
  openPage_ = key;
  return true;
}

bool FlashStore::ContinueProgram(const PhysicalPage& page, size_t offset, const uint8_t* data, size_t length) {
  const uint64_t key = layout_.PageKey(page);
  if (key != openPage_) return false;
  const auto it = pages_.find(key);
  if (it == pages_.end()) return false;
  StoreData(it->second, offset, data, length);
  return true;
}

bool FlashStore::Erase(const PhysicalBlock& block) {
  openPage_ = ~0ull;
  if (badBlocks_.IsPhysicalBlockFactoryBad(block) || badBlocks_.IsPhysicalBlockRetired(block)) return false;
  BlockState& state = blocks_[static_cast<size_t>(layout_.BlockIndex(block))];
  PhysicalPage page;
  page.block = block;
  for (page.page = 0; page.page < layout_.geometry().pagesPerBlock; ++page.page) {
    const auto it = pages_.find(layout_.PageKey(page));
    if (it == pages_.end()) continue;
    storedBytes_ -= it->second.data.size() + (it->second.spare ? spareBytes_ : 0);
    pages_.erase(it);
  }
  state.erased = true;
  state.highestPage = -1;
  ++state.erases;
  uint32_t& f = fblockErases_[static_cast<size_t>(layout_.FBlockOf(block))];
  f = std::max(f, state.erases);
  return true;
}

uint32_t FlashStore::EraseCountThisLife(const PhysicalBlock& block) const {
  return blocks_[static_cast<size_t>(layout_.BlockIndex(block))].erases;
}

uint32_t FlashStore::FBlockErasesThisLife(int fblock) const {
  if (fblock < 0 || fblock >= static_cast<int>(fblockErases_.size())) return 0;
  return fblockErases_[static_cast<size_t>(fblock)];
}

namespace {

void PutBytes(std::vector<uint8_t>& out, uint64_t v, int bytes) {
  for (int k = 0; k < bytes; ++k) out.push_back(static_cast<uint8_t>(v >> (8 * k)));
}

uint64_t GetBytes(const uint8_t* p, int bytes) {
  uint64_t v = 0;
  for (int k = 0; k < bytes; ++k) v |= static_cast<uint64_t>(p[k]) << (8 * k);
  return v;
}

uint64_t DoubleBits(double d) {
  uint64_t v;
  std::memcpy(&v, &d, sizeof v);
  return v;
}

double BitsDouble(uint64_t v) {
  double d;
  std::memcpy(&d, &v, sizeof d);
  return d;
}

}  // namespace

void FlashStore::SaveBlockTable(std::vector<uint8_t>& out) const {
  PutBytes(out, nextSequence_, 8);
  PutBytes(out, DoubleBits(clockHours_), 8);
  PutBytes(out, blocks_.size(), 4);
  for (const BlockState& b : blocks_) {
    PutBytes(out, b.erases, 4);
    PutBytes(out, b.erased ? 1 : 0, 1);
    PutBytes(out, static_cast<uint32_t>(b.highestPage), 4);
  }
}

bool FlashStore::LoadBlockTable(const uint8_t* data, size_t length) {
  constexpr size_t kPerBlock = 9;
  if (length < 20 || GetBytes(data + 16, 4) != blocks_.size() || length != 20 + kPerBlock * blocks_.size()) return false;
  nextSequence_ = GetBytes(data, 8);
  clockHours_ = BitsDouble(GetBytes(data + 8, 8));
  std::fill(fblockErases_.begin(), fblockErases_.end(), 0);
  for (size_t i = 0; i < blocks_.size(); ++i) {
    const uint8_t* b = data + 20 + kPerBlock * i;
    blocks_[i].erases = static_cast<uint32_t>(GetBytes(b, 4));
    blocks_[i].erased = b[4] != 0;
    blocks_[i].highestPage = static_cast<int>(static_cast<int32_t>(GetBytes(b + 5, 4)));
    uint32_t& f = fblockErases_[static_cast<size_t>(layout_.FBlockOf(layout_.BlockAt(static_cast<int>(i))))];
    f = std::max(f, blocks_[i].erases);
  }
  openPage_ = ~0ull;
  return true;
}

// A page record: page key, program time, order flag, data bytes, spare.
void FlashStore::SavePages(const std::function<void(const std::vector<uint8_t>& record)>& emit) const {
  std::vector<uint8_t> record;
  for (const auto& [key, stored] : pages_) {
    record.clear();
    PutBytes(record, key, 8);
    PutBytes(record, DoubleBits(stored.programmedAtHours), 8);
    PutBytes(record, stored.afterHigherPage ? 1 : 0, 1);
    PutBytes(record, stored.data.size(), 4);
    record.insert(record.end(), stored.data.begin(), stored.data.end());
    PutBytes(record, stored.spare ? 1 : 0, 1);
    if (stored.spare) record.insert(record.end(), stored.spare.get(), stored.spare.get() + spareBytes_);
    emit(record);
  }
}

bool FlashStore::LoadPage(const uint8_t* data, size_t length) {
  if (length < 22) return false;
  const uint64_t key = GetBytes(data, 8);
  const size_t dataBytes = static_cast<size_t>(GetBytes(data + 17, 4));
  if (key >= static_cast<uint64_t>(layout_.PhysicalBlockCount()) * static_cast<uint64_t>(layout_.geometry().pagesPerBlock) ||
      dataBytes > pageBytes_ || length < 22 + dataBytes) {
    return false;
  }
  const bool hasSpare = data[21 + dataBytes] != 0;
  if (length != 22 + dataBytes + (hasSpare ? spareBytes_ : 0)) return false;
  const auto old = pages_.find(key);
  if (old != pages_.end()) {
    storedBytes_ -= old->second.data.size() + (old->second.spare ? spareBytes_ : 0);
    pages_.erase(old);
  }
  StoredPage& stored = pages_[key];
  stored.programmedAtHours = BitsDouble(GetBytes(data + 8, 8));
  stored.afterHigherPage = data[16] != 0;
  stored.data.assign(data + 21, data + 21 + dataBytes);
  storedBytes_ += dataBytes;
  if (hasSpare) {
    stored.spare = std::make_unique<uint8_t[]>(spareBytes_);
    std::memcpy(stored.spare.get(), data + 22 + dataBytes, spareBytes_);
    storedBytes_ += spareBytes_;
  }
  return true;
}

}  // namespace dozered::sim
