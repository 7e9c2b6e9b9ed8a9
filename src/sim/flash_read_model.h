// How the cells of a page answer a read. The flash store holds the bits that
// were programmed; a read model turns them into what the controller returns
// for a raw read at shifted reference levels, and into the bits its ECC
// corrected per chunk and read-retry level. The ideal model returns the stored
// bits unchanged; the threshold-voltage model replaces it behind this
// interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "sim/flash_layout.h"

namespace dozered::sim {

struct PageReadContext {
  uint64_t seed = 0;
  PhysicalPage page;
  uint32_t eraseCount = 0;   // erase count of the block when the page was programmed
  bool programmed = false;   // false: the page is erased
  int levelSlot = -1;        // reference level moved by a distribution read (0-3), -1 none
  int levelOffset = 0;       // signed offset of that level in DAC steps
};

class FlashReadModel {
 public:
  virtual ~FlashReadModel() = default;

  // Turns the stored data bits of a page into the bits read.
  virtual void ApplyRead(const PageReadContext& context, uint8_t* data, size_t length) const = 0;

  // Bits the ECC corrected in one 1 KiB chunk (or, for chunk = -1, in the
  // spare area) at read-retry level `retryLevel`; 0xFF when uncorrectable.
  virtual uint8_t CorrectedBits(const PageReadContext& context, int retryLevel, int chunk) const = 0;
};

std::unique_ptr<FlashReadModel> MakeIdealReadModel();

}  // namespace dozered::sim
