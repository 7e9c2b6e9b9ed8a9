// The controller's flash translation layer: what the host writes in ordinary
// sectors goes to the flash through a map of 4 KiB units (8 sectors).
//
// - The map is sparse: a unit the host never wrote is unmapped and reads as
//   zeros. Memory grows with what was written, never with the capacity.
// - Writes fill one open superblock (an F-block: every channel, interleaved CE
//   and plane of its CE group) page by page: channel fastest, then CE, then
//   plane, then the next page in program order. Bad F-blocks and the system
//   blocks are never used.
// - The units of the page being filled wait in the controller's RAM and are
//   programmed together when the page is full, or padded when the firmware
//   needs the flash to be current (a vendor command, a host flush). Every page
//   is programmed once, scrambled as the firmware's normal path stores data.
// - When fewer than two free superblocks remain, greedy garbage collection
//   moves the valid units of the superblock with the fewest of them and
//   erases it. New superblocks are taken least worn first.
// - Superblocks that hold the data the drive arrived with carry no valid
//   units: the drive comes to the bench formatted, so every LBA reads zeros
//   until the host writes it, and garbage collection erases those blocks
//   first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "sim/flash_layout.h"

namespace dozered::sim {

class DriveModel;

inline constexpr uint32_t kSectorsPerUnit = 8;
inline constexpr size_t kUnitBytes = 4096;

// Where the data of one LBA lives.
struct LbaLocation {
  PhysicalPage page;
  int fblock = 0;
  int ceOffset = 0;       // interleave within the CE group
  int sectorInPage = 0;   // 512-byte sector within the page's data
  bool buffered = false;  // still in the controller's RAM; `page` is where it will be programmed
};

// The FTL's view of its superblocks, for tests and benchmarks.
struct FtlStatistics {
  uint64_t mappedUnits = 0;
  int freeSuperblocks = 0;
  int usableSuperblocks = 0;    // good superblocks the FTL may write
  uint64_t pagesProgrammed = 0;
  uint64_t unitsRelocated = 0;  // units garbage collection moved
  uint64_t superblocksErased = 0;
};

// Told of the flushes, which the state journal must replay in order.
class FtlJournal {
 public:
  virtual ~FtlJournal() = default;
  virtual void OnFtlFlush() = 0;
};

class Ftl {
 public:
  explicit Ftl(DriveModel& model);
  ~Ftl();
  Ftl(const Ftl&) = delete;
  Ftl& operator=(const Ftl&) = delete;

  // Host sectors. A write returns false when the flash has no room left for
  // it (a drive worn out): what was not placed is not stored.
  bool Write(uint64_t lba, uint32_t count, const uint8_t* data);
  void Read(uint64_t lba, uint32_t count, uint8_t* out);
  // Programs the page waiting in RAM, its free units padded. True when a page
  // was programmed. The firmware does this before every vendor command, so
  // that the flash commands see what the host wrote.
  bool Flush();
  void SetJournal(FtlJournal* journal) { journal_ = journal; }

  // False for an LBA that was never written (or lies beyond the map).
  bool Locate(uint64_t lba, LbaLocation* out) const;

  FtlStatistics Statistics() const;
  uint32_t UnitsPerSuperblock() const { return unitsPerSuperblock_; }
  uint64_t LogicalUnits() const { return logicalUnits_; }
  bool ReadOnly() const { return readOnly_; }

  // The whole state, for the state journal's snapshot.
  void Save(std::vector<uint8_t>& out) const;
  bool Load(const uint8_t* data, size_t length);

 private:
  enum class State : uint8_t { kUnusable, kFree, kOpen, kClosed, kStale, kBad };
  struct Superblock {
    State state = State::kUnusable;
    uint32_t valid = 0;
    std::unique_ptr<uint32_t[]> owners;  // logical unit per slot while the superblock holds data
  };
  static constexpr uint32_t kNoUnit = 0xFFFFFFFFu;
  static constexpr uint64_t kUnmapped = ~0ull;
  static constexpr uint32_t kMapChunk = 1024;

  uint64_t MapGet(uint64_t unit) const;
  void MapSet(uint64_t unit, uint64_t location);
  PhysicalPage PageOfSlot(int fblock, uint32_t slot, int* ceOffset) const;
  bool InOpenPage(uint64_t location) const;

  // Places one unit in the page buffer of the open superblock.
  bool Append(uint32_t unit, const uint8_t* data, bool collecting);
  bool EnsureOpen(bool collecting);
  bool OpenSuperblock();
  // Programs the full page buffer; moves on past pages and superblocks that
  // refuse it. False when the flash has no room left.
  bool ProgramOpenPage();
  bool CollectOne();
  void EraseSuperblock(int fblock);
  int FreeCount() const;
  void ReadUnit(uint64_t location, uint8_t* out) const;
  void Release(uint64_t location);
  // The flash side: the page in the buffer programmed (with the logical unit
  // of every unit in its spare tags), and stored data read back descrambled.
  bool ProgramStoredPage(const PhysicalPage& page, const uint32_t* units);
  void ReadStoredData(const PhysicalPage& page, size_t offset, uint8_t* out, size_t length) const;

  DriveModel& model_;
  int channels_, ways_, planes_, pagesPerBlock_;
  uint32_t unitsPerPage_;
  uint32_t pagesPerStripe_;  // physical pages of one page row of a superblock
  uint32_t unitsPerSuperblock_;
  uint64_t logicalUnits_;
  std::vector<Superblock> superblocks_;
  std::vector<std::unique_ptr<uint64_t[]>> map_;
  uint64_t mappedUnits_ = 0;
  int open_ = -1;
  uint32_t writeSlot_ = 0;             // next slot of the open superblock
  std::vector<uint8_t> pageBuffer_;    // units of the page being filled
  uint64_t bufferBase_ = 0;            // location of the buffer's first unit
  uint32_t bufferFill_ = 0;            // units in the buffer; 0 when it waits for none
  mutable std::vector<uint8_t> pageData_;   // one page as stored
  mutable std::vector<uint8_t> pageSpare_;
  bool readOnly_ = false;
  FtlJournal* journal_ = nullptr;
  uint64_t pagesProgrammed_ = 0;
  uint64_t unitsRelocated_ = 0;
  uint64_t superblocksErased_ = 0;
};

}  // namespace dozered::sim
