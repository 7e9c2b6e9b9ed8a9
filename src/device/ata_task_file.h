// The ATA task file of a pass-through request: the registers an ATA command
// is issued with and returned in.
#pragma once

#include <cstdint>

namespace dozered {

struct AtaTaskFile {
  uint8_t features = 0;
  uint8_t sectorCount = 0;
  uint8_t lbaLow = 0;
  uint8_t lbaMid = 0;
  uint8_t lbaHigh = 0;
  uint8_t device = 0;
  uint8_t command = 0;
  uint8_t reserved = 0;
};

}  // namespace dozered
