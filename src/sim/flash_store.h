// The raw flash of a simulated drive: a block table (erase counts, flags) and
// the pages programmed in this life, stored lazily. A page that was never
// programmed costs no memory: it reads erased (0xFF), or, in a block that
// still holds the data it arrived with, as that data generated from the seed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

#include "sim/bad_block_model.h"
#include "sim/drive_config.h"
#include "sim/flash_layout.h"

namespace dozered::sim {

// Spare area layout (the one sector that follows the data of a page read).
inline constexpr int kSpareBadMark = 0;        // 0xFF good, 0x00 factory bad, 0xE1 information pages
inline constexpr int kSpareLogicalPage = 16;   // bytes 16-23: logical page tag (0x0B at 16 on ISP code pages)
inline constexpr int kSpareSequence = 32;      // bytes 32-39: sequence number
inline constexpr uint8_t kSpareIspMarker = 0x0B;
inline constexpr uint8_t kSpareInfoMarker = 0xE1;

// What a block held when the drive arrived.
enum class InitialContent { kErased, kData, kIspCode, kInfoRecords, kFactoryBad };

class FlashStore {
 public:
  FlashStore(const DriveConfig& config, const FlashLayout& layout, const BadBlockModel& badBlocks);

  const FlashLayout& layout() const { return layout_; }

  // The stored bits of one page: PageBytes() data bytes and spareBytes spare bytes.
  void ReadPage(const PhysicalPage& page, uint8_t* data, uint8_t* spare) const;
  bool IsProgrammed(const PhysicalPage& page) const;

  // Programs `length` bytes at byte `offset` of the page (the rest of the
  // page keeps its bits); the controller writes the spare tags with the
  // first part. Programming only clears bits. False on a bad block.
  bool Program(const PhysicalPage& page, size_t offset, const uint8_t* data, size_t length);
  // Erases a block and counts the erase. False on a factory-bad block.
  bool Erase(const PhysicalBlock& block);

  uint32_t EraseCountThisLife(const PhysicalBlock& block) const;
  // The most erases any block of the F-block saw in this life.
  uint32_t FBlockErasesThisLife(int fblock) const;

  InitialContent InitialContentOf(const PhysicalBlock& block) const;
  // Pages of the ISP code and information blocks that carry content.
  int IspPageCount() const { return ispPages_; }
  int InfoPageCount() const { return infoPages_; }

  // The state journal's snapshot: the block table, and every stored page as
  // one record of its own.
  void SaveBlockTable(std::vector<uint8_t>& out) const;
  bool LoadBlockTable(const uint8_t* data, size_t length);
  void SavePages(const std::function<void(const std::vector<uint8_t>& record)>& emit) const;
  bool LoadPage(const uint8_t* data, size_t length);

  size_t StoredPageCount() const { return pages_.size(); }
  size_t StoredBytes() const;

 private:
  struct BlockState {
    uint32_t erases = 0;
    bool erased = false;  // erased in this life: the initial content is gone
  };
  // The page as the drive arrived with it; false when it arrived erased.
  // With null buffers only the answer is given.
  bool InitialPage(const PhysicalPage& page, uint8_t* data, uint8_t* spare) const;
  void FillSpareTags(const PhysicalPage& page, uint64_t sequence, uint8_t* spare) const;

  uint64_t seed_;
  const FlashLayout& layout_;
  const BadBlockModel& badBlocks_;
  double fill_;
  int ispPages_;
  int infoPages_;
  size_t pageBytes_;
  size_t spareBytes_;
  uint64_t nextSequence_;
  std::vector<BlockState> blocks_;
  std::vector<uint32_t> fblockErases_;
  std::unordered_map<uint64_t, std::unique_ptr<uint8_t[]>> pages_;
};

}  // namespace dozered::sim
