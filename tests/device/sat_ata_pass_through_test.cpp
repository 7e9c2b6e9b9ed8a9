#include "device/sat_ata_pass_through.h"

#include <gtest/gtest.h>

#include <vector>

namespace dozered {
namespace {

using Bytes = std::vector<uint8_t>;

struct SatCase {
  const char* name;
  uint16_t flags;
  uint32_t length;
  AtaTaskFile taskFile;
  Bytes cdb;
  bool dataIn;
};

TEST(SatAtaPassThroughTest, TaskFilesBecomeAtaPassThrough16Cdbs) {
  const SatCase cases[] = {
      {"IDENTIFY DEVICE, PIO data in", 0x03, 512, {0, 0, 0, 0, 0, 0xE0, 0xEC, 0},
       {0x85, 0x08, 0x0E, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xE0, 0xEC, 0}, true},
      {"READ DMA", 0x13, 1024, {0, 2, 0xF1, 0xDE, 0xBC, 0xEA, 0xC8, 0},
       {0x85, 0x0C, 0x0E, 0, 0, 0, 0x02, 0, 0xF1, 0, 0xDE, 0, 0xBC, 0xEA, 0xC8, 0}, true},
      {"WRITE DMA", 0x15, 512, {0, 1, 0xAA, 0x55, 0, 0xE0, 0xCA, 0},
       {0x85, 0x0C, 0x06, 0, 0, 0, 0x01, 0, 0xAA, 0, 0x55, 0, 0, 0xE0, 0xCA, 0}, false},
      {"PIO data out", 0x05, 512, {0x11, 1, 0, 0, 0, 0xA0, 0x30, 0},
       {0x85, 0x0A, 0x06, 0, 0x11, 0, 0x01, 0, 0, 0, 0, 0, 0, 0xA0, 0x30, 0}, false},
      {"no data", 0x01, 0, {0, 0, 0, 0, 0, 0xE0, 0xE7, 0},
       {0x85, 0x06, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xE0, 0xE7, 0}, false},
  };
  for (const SatCase& c : cases) {
    SCOPED_TRACE(c.name);
    AtaPassThroughRequest request;
    request.ataFlags = c.flags;
    request.dataTransferLength = c.length;
    request.currentTaskFile = c.taskFile;
    uint8_t cdb[16];
    bool dataIn = !c.dataIn;
    BuildSatAtaPassThrough16(request, cdb, dataIn);
    EXPECT_EQ(Bytes(cdb, cdb + 16), c.cdb);
    EXPECT_EQ(dataIn, c.dataIn);
  }
}

}  // namespace
}  // namespace dozered
