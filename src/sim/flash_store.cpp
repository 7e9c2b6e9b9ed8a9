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
  const int fblock = layout_.FBlockOf(block);
  if (fblock == kIspBlocks[0] || fblock == kIspBlocks[1]) return InitialContent::kIspCode;
  if (fblock == kInfoBlocks[0] || fblock == kInfoBlocks[1]) return InitialContent::kInfoRecords;
  if (fblock < kEraseCountStartBlock || badBlocks_.IsFBlockBad(fblock)) return InitialContent::kErased;
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
    return;
  }
  if (InitialPage(page, data, spare)) return;
  std::memset(data, 0xFF, pageBytes_);
  std::memset(spare, 0xFF, spareBytes_);
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

}  // namespace dozered::sim
