// The raw flash of a simulated drive: a block table (erase counts, flags,
// write pointer) and the pages programmed in this life, stored lazily. A page
// that was never programmed costs no memory: it reads erased (0xFF), or, in a
// block that still holds the data it arrived with, as that data generated
// from the seed. A page programmed with part of its data stores only that
// part; the rest of it reads erased.
//
// The store keeps the bits as they were programmed. What a read returns (bit
// errors, ECC, descrambling) is the business of the read model and the
// firmware.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "sim/bad_block_model.h"
#include "sim/drive_config.h"
#include "sim/flash_layout.h"

namespace dozered::sim {

// Spare area layout (the one sector that follows the data of a page read).
inline constexpr int kSpareBadMark = 0;        // 0xFF good, 0x00 factory bad, 0xE1 information pages
inline constexpr int kSpareHeader = 1;         // bytes 1-15: the controller's page header
inline constexpr int kSpareLogicalPage = 16;   // bytes 16-23: logical page tag (0x0B at 16 on ISP code pages)
inline constexpr int kSpareSequence = 32;      // bytes 32-39: sequence number
inline constexpr uint8_t kSpareIspMarker = 0x0B;
inline constexpr uint8_t kSpareInfoMarker = 0xE1;

// Fills a spare area (`spareBytes` bytes) as the controller writes it: good
// block mark, the page header (F-block, page, plane, CE, channel), the logical
// page tag (64 bits, little-endian) and the sequence number (64 bits,
// little-endian); the rest 0xFF. Unscrambled.
void FillSpareTags(const FlashLayout& layout, const PhysicalPage& page, uint64_t logicalTag, uint64_t sequence,
                   uint8_t* spare, size_t spareBytes);
// The logical tag the controller gives pages it writes for itself (and the
// pages an engineer writes through the flash commands): the page's number in
// F-block order in the low 32 bits, the physical block index in the high 32.
uint64_t PhysicalPageTag(const FlashLayout& layout, const PhysicalPage& page);

// What a block held when the drive arrived.
enum class InitialContent { kErased, kData, kIspCode, kInfoRecords, kFactoryBad };

// What the store knows about one page beyond its bits.
struct PageInfo {
  bool programmed = false;       // programmed since the last erase (or arrived with data)
  size_t dataBytes = 0;          // data bytes from byte 0 that were programmed; beyond them the page reads erased
  bool spare = false;            // the spare area was programmed
  double programmedAtHours = 0;  // on the drive clock; data the drive arrived with is older than the session
  bool afterHigherPage = false;  // programmed after a higher page of the same block
};

class FlashStore {
 public:
  FlashStore(const DriveConfig& config, const FlashLayout& layout, const BadBlockModel& badBlocks);

  const FlashLayout& layout() const { return layout_; }

  // The stored bits of one page: PageBytes() data bytes and spareBytes spare bytes.
  void ReadPage(const PhysicalPage& page, uint8_t* data, uint8_t* spare) const;
  // `length` stored data bytes from byte `offset` of the page (0xFF beyond the page).
  void ReadData(const PhysicalPage& page, size_t offset, uint8_t* out, size_t length) const;
  // The stored spare area (spareBytes).
  void ReadSpare(const PhysicalPage& page, uint8_t* spare) const;
  bool IsProgrammed(const PhysicalPage& page) const { return Info(page).programmed; }
  PageInfo Info(const PhysicalPage& page) const;

  // Programs one page: `length` data bytes at byte `offset` of its data area
  // and, when `spare` is not null, the whole spare area (spareBytes bytes).
  // What is not given stays erased. The bytes are stored as given: a caller
  // that wants them scrambled scrambles them first (scrambler.h).
  //
  // A page is programmed once between erases of its block. Returns false and
  // changes nothing when the page is already programmed (in this life or with
  // the data the drive arrived with), or when its block is factory bad or
  // retired; true when the page was programmed.
  bool Program(const PhysicalPage& page, size_t offset, const uint8_t* data, size_t length,
               const uint8_t* spare = nullptr);
  // Adds data to the page the last successful Program started, as long as no
  // other program or erase came in between: the later parts of one transfer
  // of page data. False (nothing changed) otherwise.
  bool ContinueProgram(const PhysicalPage& page, size_t offset, const uint8_t* data, size_t length);
  // Erases a block and counts the erase. False on a factory-bad or retired block.
  bool Erase(const PhysicalBlock& block);

  // The sequence number the next programmed page carries in its spare tags.
  uint64_t TakeSequenceNumber() { return nextSequence_++; }

  // The drive's clock in hours: 0 when the session starts; it moves only when
  // told to, so that every read is repeatable.
  double ClockHours() const { return clockHours_; }
  void AdvanceClock(double hours) {
    if (hours > 0) clockHours_ += hours;
  }
  // Age of the data the drive arrived with, in hours at the session's start.
  double InitialDataAgeHours() const { return initialAgeHours_; }

  uint32_t EraseCountThisLife(const PhysicalBlock& block) const;
  // The most erases any block of the F-block saw in this life.
  uint32_t FBlockErasesThisLife(int fblock) const;

  InitialContent InitialContentOf(const PhysicalBlock& block) const;
  // Pages of the ISP code and information blocks that carry content.
  int IspPageCount() const { return ispPages_; }
  int InfoPageCount() const { return infoPages_; }

  size_t StoredPageCount() const { return pages_.size(); }
  // Bytes held for programmed pages (data and spare as stored).
  size_t StoredBytes() const { return storedBytes_; }

 private:
  struct BlockState {
    uint32_t erases = 0;
    bool erased = false;      // erased in this life: the initial content is gone
    int highestPage = -1;     // highest page programmed in this life
  };
  struct StoredPage {
    std::vector<uint8_t> data;       // programmed data bytes from byte 0
    std::unique_ptr<uint8_t[]> spare;  // null: spare erased
    double programmedAtHours = 0;
    bool afterHigherPage = false;
  };
  // The page as the drive arrived with it; false when it arrived erased. With
  // null buffers only the answer is given.
  bool InitialPage(const PhysicalPage& page, uint8_t* spare) const;
  void InitialData(const PhysicalPage& page, size_t offset, uint8_t* out, size_t length) const;
  void StoreData(StoredPage& stored, size_t offset, const uint8_t* data, size_t length);

  uint64_t seed_;
  const FlashLayout& layout_;
  const BadBlockModel& badBlocks_;
  double fill_;
  int ispPages_;
  int infoPages_;
  size_t pageBytes_;
  size_t spareBytes_;
  uint64_t nextSequence_;
  double clockHours_ = 0;
  double initialAgeHours_;
  std::vector<BlockState> blocks_;
  std::vector<uint32_t> fblockErases_;
  std::unordered_map<uint64_t, StoredPage> pages_;
  uint64_t openPage_ = ~0ull;  // the page the last Program started, until another program or erase
  size_t storedBytes_ = 0;
};

}  // namespace dozered::sim
