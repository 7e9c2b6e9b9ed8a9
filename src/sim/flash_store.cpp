#include "sim/flash_store.h"

#include <algorithm>
#include <cstring>

#include "sim/sim_hash.h"
#include "sim/wear_model.h"

namespace dozered::sim {
namespace {

void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void PutLe64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void FillHashStream(uint64_t start, uint8_t* out, size_t length) {
  uint64_t x = start;
  size_t i = 0;
  for (; i + 8 <= length; i += 8) {
    x = SplitMix64(x);
    std::memcpy(out + i, &x, 8);
  }
  if (i < length) {
    x = SplitMix64(x);
    std::memcpy(out + i, &x, length - i);
  }
}

// Index of a program-order page among the LSB pages, or -1.
int LsbIndex(int page) {
  if (page == 0) return 0;
  if (page % 2 == 1) return (page + 1) / 2;
  return -1;
}

}  // namespace

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

void FlashStore::FillSpareTags(const PhysicalPage& page, uint64_t sequence, uint8_t* spare) const {
  std::memset(spare, 0xFF, spareBytes_);
  spare[kSpareBadMark] = 0xFF;
  // Header: the controller's page header (F-block, page, plane, CE, channel).
  const int fblock = layout_.FBlockOf(page.block);
  spare[1] = 0x5A;
  spare[2] = static_cast<uint8_t>(fblock);
  spare[3] = static_cast<uint8_t>(fblock >> 8);
  spare[4] = static_cast<uint8_t>(page.page);
  spare[5] = static_cast<uint8_t>(page.page >> 8);
  spare[6] = static_cast<uint8_t>(page.block.plane | (page.block.ce << 2) | (page.block.channel << 5));
  for (int i = 7; i < 16; ++i) spare[i] = 0x00;
  const uint32_t logicalPage = static_cast<uint32_t>(fblock) * static_cast<uint32_t>(layout_.geometry().pagesPerBlock) +
                               static_cast<uint32_t>(page.page);
  PutLe32(spare + kSpareLogicalPage, logicalPage);
  PutLe32(spare + kSpareLogicalPage + 4, static_cast<uint32_t>(layout_.BlockIndex(page.block)));
  PutLe64(spare + kSpareSequence, sequence);
}

bool FlashStore::InitialPage(const PhysicalPage& page, uint8_t* data, uint8_t* spare) const {
  const BlockState& state = blocks_[static_cast<size_t>(layout_.BlockIndex(page.block))];
  if (state.erased) return false;
  const InitialContent content = InitialContentOf(page.block);
  const uint64_t key = layout_.PageKey(page);
  switch (content) {
    case InitialContent::kErased:
      return false;
    case InitialContent::kFactoryBad:
      if (page.page != 0 && page.page != layout_.geometry().pagesPerBlock - 1) return false;
      if (data == nullptr) return true;
      std::memset(data, 0xFF, pageBytes_);
      std::memset(spare, 0xFF, spareBytes_);
      spare[kSpareBadMark] = 0x00;
      return true;
    case InitialContent::kData: {
      if (data == nullptr) return true;
      const int fblock = layout_.FBlockOf(page.block);
      FillHashStream(Hash(seed_, HashDomain::kPreAgedData, key, 0), data, pageBytes_);
      FillSpareTags(page, static_cast<uint64_t>(fblock) * 4096 + static_cast<uint64_t>(page.page), spare);
      return true;
    }
    case InitialContent::kIspCode:
    case InitialContent::kInfoRecords: {
      const int index = LsbIndex(page.page);
      const int count = content == InitialContent::kIspCode ? ispPages_ : infoPages_;
      if (index < 0 || index >= count) return false;
      if (data == nullptr) return true;
      // Both copies of a code or information block hold the same content.
      const uint64_t contentKey = (static_cast<uint64_t>(content == InitialContent::kIspCode) << 32) |
                                  (static_cast<uint64_t>(index) << 8) | static_cast<uint64_t>(page.block.plane);
      FillHashStream(Hash(seed_, HashDomain::kPreAgedData, contentKey, 1), data, pageBytes_);
      FillSpareTags(page, static_cast<uint64_t>(index), spare);
      if (content == InitialContent::kIspCode) {
        spare[kSpareLogicalPage] = kSpareIspMarker;
      } else {
        spare[kSpareBadMark] = kSpareInfoMarker;
      }
      return true;
    }
  }
  return false;
}

void FlashStore::ReadPage(const PhysicalPage& page, uint8_t* data, uint8_t* spare) const {
  const auto it = pages_.find(layout_.PageKey(page));
  if (it != pages_.end()) {
    std::memcpy(data, it->second.get(), pageBytes_);
    std::memcpy(spare, it->second.get() + pageBytes_, spareBytes_);
  } else if (!InitialPage(page, data, spare)) {
    std::memset(data, 0xFF, pageBytes_);
    std::memset(spare, 0xFF, spareBytes_);
  }
  // A block retired in use carries the bad mark on its first and last page.
  if ((page.page == 0 || page.page == layout_.geometry().pagesPerBlock - 1) && badBlocks_.IsPhysicalBlockRetired(page.block)) {
    spare[kSpareBadMark] = 0x00;
  }
}

bool FlashStore::IsProgrammed(const PhysicalPage& page) const {
  if (pages_.count(layout_.PageKey(page)) != 0) return true;
  return InitialPage(page, nullptr, nullptr);
}

bool FlashStore::Program(const PhysicalPage& page, size_t offset, const uint8_t* data, size_t length) {
  if (badBlocks_.IsPhysicalBlockFactoryBad(page.block) || badBlocks_.IsPhysicalBlockRetired(page.block)) return false;
  const uint64_t key = layout_.PageKey(page);
  auto it = pages_.find(key);
  if (it == pages_.end()) {
    auto bytes = std::make_unique<uint8_t[]>(pageBytes_ + spareBytes_);
    ReadPage(page, bytes.get(), bytes.get() + pageBytes_);
    it = pages_.emplace(key, std::move(bytes)).first;
  }
  uint8_t* stored = it->second.get();
  if (offset < pageBytes_) {
    const size_t n = std::min(length, pageBytes_ - offset);
    for (size_t i = 0; i < n; ++i) stored[offset + i] &= data[i];
  }
  if (offset != 0) return true;
  std::vector<uint8_t> tags(spareBytes_);
  FillSpareTags(page, nextSequence_++, tags.data());
  for (size_t i = 0; i < spareBytes_; ++i) stored[pageBytes_ + i] &= tags[i];
  return true;
}

bool FlashStore::Erase(const PhysicalBlock& block) {
  if (badBlocks_.IsPhysicalBlockFactoryBad(block) || badBlocks_.IsPhysicalBlockRetired(block)) return false;
  BlockState& state = blocks_[static_cast<size_t>(layout_.BlockIndex(block))];
  PhysicalPage page;
  page.block = block;
  for (page.page = 0; page.page < layout_.geometry().pagesPerBlock; ++page.page) pages_.erase(layout_.PageKey(page));
  state.erased = true;
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

size_t FlashStore::StoredBytes() const { return pages_.size() * (pageBytes_ + spareBytes_); }

void FlashStore::SaveBlockTable(std::vector<uint8_t>& out) const {
  uint8_t word[8];
  PutLe64(word, nextSequence_);
  out.insert(out.end(), word, word + 8);
  PutLe32(word, static_cast<uint32_t>(blocks_.size()));
  out.insert(out.end(), word, word + 4);
  for (const BlockState& b : blocks_) {
    PutLe32(word, b.erases);
    word[4] = b.erased ? 1 : 0;
    out.insert(out.end(), word, word + 5);
  }
}

bool FlashStore::LoadBlockTable(const uint8_t* data, size_t length) {
  auto le32 = [](const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
  };
  if (length < 12 || le32(data + 8) != blocks_.size() || length != 12 + 5 * blocks_.size()) return false;
  nextSequence_ = le32(data) | (static_cast<uint64_t>(le32(data + 4)) << 32);
  std::fill(fblockErases_.begin(), fblockErases_.end(), 0);
  for (size_t i = 0; i < blocks_.size(); ++i) {
    blocks_[i].erases = le32(data + 12 + 5 * i);
    blocks_[i].erased = data[12 + 5 * i + 4] != 0;
    uint32_t& f = fblockErases_[static_cast<size_t>(layout_.FBlockOf(layout_.BlockAt(static_cast<int>(i))))];
    f = std::max(f, blocks_[i].erases);
  }
  return true;
}

void FlashStore::SavePages(const std::function<void(const std::vector<uint8_t>& record)>& emit) const {
  std::vector<uint8_t> record(8 + pageBytes_ + spareBytes_);
  for (const auto& [key, bytes] : pages_) {
    PutLe64(record.data(), key);
    std::memcpy(record.data() + 8, bytes.get(), pageBytes_ + spareBytes_);
    emit(record);
  }
}

bool FlashStore::LoadPage(const uint8_t* data, size_t length) {
  if (length != 8 + pageBytes_ + spareBytes_) return false;
  uint64_t key = 0;
  for (int i = 0; i < 8; ++i) key |= static_cast<uint64_t>(data[i]) << (8 * i);
  if (key >= static_cast<uint64_t>(layout_.PhysicalBlockCount()) * static_cast<uint64_t>(layout_.geometry().pagesPerBlock)) {
    return false;
  }
  auto bytes = std::make_unique<uint8_t[]>(pageBytes_ + spareBytes_);
  std::memcpy(bytes.get(), data + 8, pageBytes_ + spareBytes_);
  pages_[key] = std::move(bytes);
  return true;
}

}  // namespace dozered::sim
