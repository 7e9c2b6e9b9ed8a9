// Every vendor command: the read of LBA 0 first, the command block written
// at the command address byte for byte, and its data phase.
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <string>
#include <map>
#include <vector>

#include "protocol/result_codes.h"
#include "support/protocol_rig.h"

namespace dozered {
namespace {

using testing::MakeSignedPlainDisk;
using testing::ProtocolRig;

struct CommandCase {
  const char* name;
  std::function<int32_t(VE4810VO&, std::vector<uint8_t>&)> send;
  std::map<int, uint8_t> bytes;  // every other byte of the block is 0
  bool dataOut;
  uint32_t dataSectors;          // 0: no data phase
};

FlashAddress Address(uint32_t block, uint32_t page, uint8_t chunk, uint8_t option, uint8_t chCe) {
  return FlashAddress{block, page, chunk, option, chCe};
}

std::span<uint8_t> In(std::vector<uint8_t>& b) { return b; }
std::span<const uint8_t> Out(std::vector<uint8_t>& b) { return b; }

const std::vector<CommandCase>& Cases() {
  static const std::vector<CommandCase> cases = {
      {"ReadFlash example",
       [](VE4810VO& c, auto& b) { return c.ReadFlash(Address(0x0123, 0x0456, 2, 0x21, 0x00), 3, In(b)); },
       {{0, 0xF0}, {1, 0x0A}, {2, 0x01}, {3, 0x23}, {4, 0x56}, {5, 0x02}, {8, 0x21}, {12, 0x04}},
       false, 3},
      {"ReadFlash block above 0xFFFF keeps its low 16 bits",
       [](VE4810VO& c, auto& b) { return c.ReadFlash(Address(0x12345, 0x10007, 0, 0x03, 0x25), 1, In(b)); },
       {{0, 0xF0}, {1, 0x0A}, {2, 0x23}, {3, 0x45}, {4, 0x07}, {8, 0x03}, {10, 0x25}},
       false, 1},
      {"EraseFlash",
       [](VE4810VO& c, auto& b) { return c.EraseFlash(Address(0x0201, 0x0304, 5, 0x01, 0x13), 33, In(b)); },
       {{0, 0xF0}, {1, 0x0C}, {2, 0x02}, {3, 0x01}, {4, 0x04}, {5, 0x05}, {8, 0x01}, {10, 0x13}, {12, 0x03}},
       false, 33},
      {"ReadFlashDistribution slot 2",
       [](VE4810VO& c, auto& b) {
         return c.ReadFlashDistribution(Address(0x0010, 0x0020, 1, 0x21, 0x02), 2, 0x7F, 33, In(b));
       },
       {{0, 0xF0}, {1, 0x45}, {3, 0x10}, {4, 0x20}, {5, 0x01}, {8, 0x21}, {10, 0x02}, {16, 0x7F}},
       false, 33},
      {"ReadChunkEcc",
       [](VE4810VO& c, auto& b) { return c.ReadChunkEcc(Address(0x0100, 0x0001, 0, 0x21, 0x10), 1, In(b)); },
       {{0, 0xF0}, {1, 0x46}, {2, 0x01}, {4, 0x01}, {8, 0x21}, {10, 0x10}},
       false, 1},
      {"WriteFlash leaves the chunk out",
       [](VE4810VO& c, auto& b) { return c.WriteFlash(Address(0x0123, 0x0456, 9, 0x21, 0x01), 33, Out(b)); },
       {{0, 0xF1}, {1, 0x0B}, {2, 0x01}, {3, 0x23}, {4, 0x56}, {8, 0x21}, {10, 0x01}, {12, 0x04}},
       true, 33},
      {"ReadFlashId",
       [](VE4810VO& c, auto& b) { return c.ReadFlashId(4, In(b)); },
       {{0, 0xF0}, {1, 0x20}}, false, 4},
      {"ReadIdentify",
       [](VE4810VO& c, auto& b) { return c.ReadIdentify(In(b)); },
       {{0, 0xF0}, {1, 0x3F}}, false, 1},
      {"ReadIspInfo",
       [](VE4810VO& c, auto& b) { return c.ReadIspInfo(In(b)); },
       {{0, 0xF0}, {1, 0x04}}, false, 1},
      {"ReadSmart",
       [](VE4810VO& c, auto& b) { return c.ReadSmart(0xD0, In(b)); },
       {{0, 0xF0}, {1, 0x3E}, {3, 0xD0}}, false, 1},
      {"ReadCid",
       [](VE4810VO& c, auto& b) { return c.ReadCid(In(b)); },
       {{0, 0xF0}, {1, 0x47}}, false, 1},
      {"ReadEraseCount",
       [](VE4810VO& c, auto& b) { return c.ReadEraseCount(33, In(b)); },
       {{0, 0xF0}, {1, 0x42}}, false, 33},
      {"ReadMarkBadInfo",
       [](VE4810VO& c, auto& b) { return c.ReadMarkBadInfo(16, In(b)); },
       {{0, 0xF0}, {1, 0x43}}, false, 16},
      {"ReadBadBlockInfo",
       [](VE4810VO& c, auto& b) { return c.ReadBadBlockInfo(1, In(b)); },
       {{0, 0xF0}, {1, 0x44}, {2, 0x01}}, false, 24},
      {"ReadErrorLog",
       [](VE4810VO& c, auto& b) { return c.ReadErrorLog(2, In(b)); },
       {{0, 0xF0}, {1, 0xA7}}, false, 2},
      {"TranslateLba example",
       [](VE4810VO& c, auto& b) { return c.TranslateLba(0x0789, 1, In(b)); },
       {{0, 0xF0}, {1, 0x41}, {2, 0x89}, {3, 0x07}, {15, 0x44}}, false, 1},
      {"TranslateLba 32-bit",
       [](VE4810VO& c, auto& b) { return c.TranslateLba(0x12345678, 1, In(b)); },
       {{0, 0xF0}, {1, 0x41}, {2, 0x78}, {3, 0x56}, {4, 0x34}, {5, 0x12}, {15, 0x44}}, false, 1},
      {"SetFlashClock",
       [](VE4810VO& c, auto&) { return c.SetFlashClock(0x1234); },
       {{0, 0xF0}, {1, 0xB1}, {2, 0x34}, {3, 0x12}}, false, 1},
      {"EnterRomCodeMode",
       [](VE4810VO& c, auto&) { return c.EnterRomCodeMode(1); },
       {{0, 0xF0}, {1, 0x2C}, {2, 0x01}}, false, 1},
      {"DownloadCode example",
       [](VE4810VO& c, auto& b) { return c.DownloadCode(0x10000, 128, Out(b)); },
       {{0, 0xF1}, {1, 0x27}, {8, 0x01}}, true, 128},
      {"DownloadCode little-endian address",
       [](VE4810VO& c, auto& b) { return c.DownloadCode(0x0A0B0C0D, 1, Out(b)); },
       {{0, 0xF1}, {1, 0x27}, {6, 0x0D}, {7, 0x0C}, {8, 0x0B}, {9, 0x0A}}, true, 1},
      {"JumpToCode",
       [](VE4810VO& c, auto& b) { return c.JumpToCode(0x00204000, 1, Out(b)); },
       {{0, 0xF1}, {1, 0x28}, {7, 0x40}, {8, 0x20}}, true, 1},
      {"LoadDiagnosticCode example",
       [](VE4810VO& c, auto& b) { return c.LoadDiagnosticCode(0xE400, 6, Out(b)); },
       {{0, 0xF0}, {1, 0x2B}, {6, 0xE4}, {11, 0x06}}, true, 6},
      {"LoadDiagnosticCode big-endian address and count",
       [](VE4810VO& c, auto& b) { return c.LoadDiagnosticCode(0x01020304, 0x0105, Out(b)); },
       {{0, 0xF0}, {1, 0x2B}, {4, 0x01}, {5, 0x02}, {6, 0x03}, {7, 0x04}, {10, 0x01}, {11, 0x05}},
       true, 0x0105},
  };
  return cases;
}

class CommandSetTest : public ::testing::TestWithParam<CommandCase> {};

TEST_P(CommandSetTest, ReadsLbaZeroThenWritesItsBlockAndMovesItsData) {
  const CommandCase& c = GetParam();
  ProtocolRig rig(MakeSignedPlainDisk());
  ASSERT_TRUE(rig.Record().Open(true));  // so that the read of LBA 0 reaches the drive
  rig.ClearCounts();
  std::vector<uint8_t> buffer(0x0105 * 512, 0x5C);
  ASSERT_EQ(c.send(rig.Controller(), buffer), kResultSuccess);

  const auto& log = rig.Recorder().Accesses();
  ASSERT_GE(log.size(), 9u);
  EXPECT_EQ(log[0].lba, 0u);
  EXPECT_FALSE(log[0].write);
  EXPECT_EQ(log[7].lba, 0x55AAu);
  ASSERT_TRUE(log[7].write);
  std::vector<uint8_t> expected(512, 0);
  for (const auto& [at, value] : c.bytes) expected[static_cast<size_t>(at)] = value;
  EXPECT_EQ(log[7].data, expected);

  const auto& data = log[8];
  EXPECT_EQ(data.lba, 0x55AAu);
  EXPECT_EQ(data.count, c.dataSectors);
  EXPECT_EQ(data.write, c.dataOut);
}

INSTANTIATE_TEST_SUITE_P(AllCommands, CommandSetTest, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<CommandCase>& info) {
                           std::string name = info.param.name;
                           for (char& ch : name) {
                             if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           }
                           return name;
                         });

TEST(CommandSetArgumentsTest, RefusesBadInputBeforeSendingAnything) {
  ProtocolRig rig(MakeSignedPlainDisk());
  std::vector<uint8_t> small(1024);
  VE4810VO& c = rig.Controller();
  EXPECT_EQ(c.ReadFlashDistribution(FlashAddress{}, 4, 1, 1, small), kResultInvalidArgument);
  EXPECT_EQ(c.ReadFlashDistribution(FlashAddress{}, -1, 1, 1, small), kResultInvalidArgument);
  EXPECT_EQ(c.ReadFlashId(4, small), kResultInvalidArgument);
  EXPECT_EQ(c.ReadBadBlockInfo(1, small), kResultInvalidArgument);
  EXPECT_EQ(c.DownloadCode(0, 3, small), kResultInvalidArgument);
  EXPECT_EQ(c.ReadEraseCount(0xFFFFFFFF, small), kResultInvalidArgument);
  // Nothing but the reads of LBA 0 (each opening the closed record for itself).
  EXPECT_EQ(rig.Opens(), rig.Recorder().AccessCount());
  for (const auto& a : rig.Recorder().Accesses()) {
    EXPECT_EQ(a.lba, 0u);
    EXPECT_FALSE(a.write);
  }
}

TEST(CommandSetArgumentsTest, DownloadCodeTakesOneTo128SectorsAndSendsNothingElse) {
  for (uint32_t count : {0u, 129u, 256u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(count);
    ProtocolRig rig(MakeSignedPlainDisk());
    std::vector<uint8_t> code(256 * 512, 0x77);
    EXPECT_EQ(rig.Controller().DownloadCode(0x10000, count, code), kResultInvalidArgument);
    EXPECT_EQ(rig.Recorder().AccessCount(), 0);
    EXPECT_EQ(rig.Opens(), 0);
  }
}

}  // namespace
}  // namespace dozered
