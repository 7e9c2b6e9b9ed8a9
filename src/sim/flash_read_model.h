// How the cells of a page answer a read. The flash store holds the bits that
// were programmed; PageCells turns them into the bits a read at given
// references returns, region by region (each 1 KiB ECC chunk of the data,
// and the spare area after its bad-block mark), from the cell physics of the
// page's wordline. Raw page reads, the ECC and its read retry, the chunk-ECC
// answer and the distribution reads all read through it, so they agree bit
// for bit.
//
// Every cell has a uniform draw, a 64-bit integer fixed by the drive's seed,
// the wordline, the region and the block's erase count (so each erase draws
// new noise), and independent of the order of commands. The draws of a region
// are made in two parts: the tails (draws below 2^57 or from 2^64 - 2^57 up,
// 1/64 of the cells), found by geometric skipping without touching the other
// cells, and the bulk, one hash per two cells. A read whose thresholds all
// lie in the tails, as on any page that is not worn out, only visits the tail
// cells; other reads visit every cell.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/cell_physics.h"
#include "sim/flash_layout.h"
#include "sim/flash_store.h"

namespace dozered::sim {

class DriveModel;

class PageCells {
 public:
  PageCells(const DriveModel& model, const PhysicalPage& page);

  const PhysicalPage& page() const { return page_; }
  int ChunkCount() const { return chunks_; }
  int RegionCount() const { return chunks_ + 1; }
  int SpareRegion() const { return chunks_; }
  // Where a region lies: data bytes of the page, or for the spare region spare
  // bytes from 1 on (byte 0, the bad-block mark, is read as stored).
  size_t RegionOffset(int region) const;
  size_t RegionBytes(int region) const;
  // The region of the data byte at `offset`.
  int ChunkOf(size_t offset) const { return static_cast<int>(offset / kChunkBytes); }

  // An MSB page whose wordline has no programmed MSB page reads 0xFF whatever
  // the references.
  bool ReadsErased() const { return readsErased_; }
  // The region holds programmed bits (otherwise it is erased).
  bool RegionProgrammed(int region) const;
  const WordlineHistory& history() const { return history_; }
  const StateDistribution& State(int s) const { return states_[s]; }

  // The bits stored in a region of this page (RegionBytes bytes).
  const uint8_t* Stored(int region);
  // Reads a region at the given references into `out` (RegionBytes bytes) and
  // returns the number of bits that differ from the stored bits.
  int Read(int region, const ReadReferences& references, uint8_t* out);
  // The same count without keeping the bits.
  int CountErrors(int region, const ReadReferences& references);

  static constexpr size_t kChunkBytes = 1024;

 private:
  struct Tail {
    uint32_t cell;
    uint64_t draw;
  };
  struct Region {
    bool loaded = false;
    std::vector<uint8_t> lsb;  // stored bits of the wordline's LSB page
    std::vector<uint8_t> msb;  // and of its MSB page (empty while it is not programmed)
    bool tailsMade = false;
    std::vector<Tail> tails;
  };
  struct Thresholds {
    uint64_t below1[kCellStates];
    uint64_t below2[kCellStates];
    uint64_t below3[kCellStates];
    uint32_t bulkLow[kCellStates];   // the same in bulk hashes: 1 for h < low or h >= high
    uint32_t bulkHigh[kCellStates];
  };
  Region& Load(int region);
  void MakeTails(int region, Region& r);
  void SetThresholds(const ReadReferences& references);
  bool ReadBit(int state, uint64_t draw) const;
  bool BulkReadsStored() const;
  void ReadBulk(int region, const Region& r, uint8_t* out) const;
  uint64_t RegionSeed(int region) const;

  const DriveModel& model_;
  PhysicalPage page_;
  int chunks_ = 0;
  size_t pageBytes_ = 0;
  size_t spareBytes_ = 0;
  bool msb_ = false;          // this page is the MSB page of its wordline
  bool msbProgrammed_ = false;
  bool lsbProgrammed_ = false;
  bool readsErased_ = false;
  PhysicalPage lsbPage_;
  PhysicalPage msbPage_;
  PageInfo ownInfo_;
  WordlineHistory history_;
  StateDistribution states_[kCellStates];
  uint64_t wordlineKey_ = 0;
  std::vector<Region> regions_;
  ReadReferences thresholdsFor_{-1, -1, -1};
  Thresholds thresholds_{};
  std::vector<uint8_t> scratch_;
};

}  // namespace dozered::sim
