// The transport's exchanges against a drive that stores command blocks as
// data (a signed plain disk): the order of sector accesses, the result code
// of a fault at each step, the restore and the open/close rule.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "protocol/result_codes.h"
#include "support/protocol_rig.h"

namespace dozered {
namespace {

using testing::FaultKind;
using testing::MakeSignedPlainDisk;
using testing::ProtocolRig;
using testing::SectorAccess;

struct Access {
  uint32_t lba;
  uint32_t count;
  bool write;
  bool operator==(const Access&) const = default;
};

constexpr Access R(uint32_t lba, uint32_t count = 1) { return {lba, count, false}; }
constexpr Access W(uint32_t lba, uint32_t count = 1) { return {lba, count, true}; }

std::vector<Access> Seen(const std::vector<SectorAccess>& log) {
  std::vector<Access> out;
  for (const auto& a : log) out.push_back({a.lba, a.count, a.write});
  return out;
}

void PrintTo(const Access& a, std::ostream* os) {
  *os << (a.write ? "W " : "R ") << std::hex << "0x" << a.lba << " x" << std::dec << a.count;
}

CommandBlock SampleBlock() {
  CommandBlock c;
  c[0] = kDirectionIn;
  c[1] = kOpReadFlashId;
  c[2] = 0x77;
  return c;
}

class ExchangeTest : public ::testing::Test {
 protected:
  ExchangeTest() : rig_(MakeSignedPlainDisk()) {}
  VE4810VO& ctl() { return rig_.Controller(); }
  ProtocolRig rig_;
};

TEST_F(ExchangeTest, DataInOnADriveThatStoresTheBlockRestoresTheSector) {
  const auto before = rig_.PeekSectors(0x55AA, 1);
  std::vector<uint8_t> data(1024);
  EXPECT_EQ(ctl().ExchangeIn(SampleBlock(), data, 1024, true), kResultSuccess);
  const std::vector<Access> expected = {R(0x55AA), R(0xAA),      R(0xAA00),    R(0x55),
                                        R(0x5500), R(0x55AA),    W(0x55AA),    R(0x55AA, 2),
                                        R(0x55AA), W(0x55AA)};
  EXPECT_EQ(Seen(rig_.Recorder().Accesses()), expected);
  // The reply is whatever the drive had at 0x55AA: the stored block.
  EXPECT_EQ(std::memcmp(data.data(), SampleBlock().data(), 512), 0);
  EXPECT_EQ(rig_.PeekSectors(0x55AA, 1), before);
  EXPECT_EQ(std::string(ctl().LastSignature), "VE4810VO");
}

TEST_F(ExchangeTest, DataOutOnADriveThatStoresItGetsEveryOverwrittenSectorBack) {
  for (uint32_t i = 0; i < 4; ++i) rig_.PokeSectors(0x55AA + i, testing::PatternSector(0x55AA + i));
  // Keep the signature so that the unlock passes.
  auto first = rig_.PeekSectors(0x55AA, 1);
  std::memcpy(first.data() + 46, "VE4810VO", 8);
  rig_.PokeSectors(0x55AA, first);
  const auto before = rig_.PeekSectors(0x55AA, 4);

  std::vector<uint8_t> data(3 * 512, 0xC3);
  CommandBlock c = SampleBlock();
  c[0] = kDirectionOut;
  EXPECT_EQ(ctl().ExchangeOut(c, data, 3 * 512, true), kResultSuccess);
  const std::vector<Access> expected = {R(0x55AA, 3), R(0xAA),   R(0xAA00),    R(0x55),
                                        R(0x5500),    R(0x55AA), W(0x55AA),    W(0x55AA, 3),
                                        R(0x55AA),    W(0x55AA, 3)};
  EXPECT_EQ(Seen(rig_.Recorder().Accesses()), expected);
  EXPECT_EQ(rig_.PeekSectors(0x55AA, 4), before);
}

TEST_F(ExchangeTest, ByteCountsRoundUpToWholeSectors) {
  struct Case {
    uint32_t bytes;
    uint32_t sectors;
  };
  for (const Case& c : {Case{0x3000, 24}, Case{1000, 2}, Case{512, 1}, Case{1, 1}}) {
    SCOPED_TRACE(c.bytes);
    rig_.ClearCounts();
    std::vector<uint8_t> data(c.sectors * 512);
    ASSERT_EQ(ctl().ExchangeIn(SampleBlock(), data, c.bytes, true), kResultSuccess);
    EXPECT_EQ(Seen(rig_.Recorder().Accesses()).at(7), R(0x55AA, c.sectors));
  }
}

TEST_F(ExchangeTest, ABufferShorterThanTheRoundedCountIsRefusedBeforeAnythingIsSent) {
  std::vector<uint8_t> data(1000, 0xAB);
  EXPECT_EQ(ctl().ExchangeIn(SampleBlock(), data, 1000, true), kResultInvalidArgument);
  EXPECT_EQ(rig_.Recorder().AccessCount(), 0);
  EXPECT_EQ(rig_.Opens(), 0);
  EXPECT_EQ(data, std::vector<uint8_t>(1000, 0xAB));
}

TEST_F(ExchangeTest, WithoutDataThereIsNoDataPhase) {
  EXPECT_EQ(ctl().ExchangeIn(SampleBlock(), {}, 0, true), kResultSuccess);
  const std::vector<Access> expected = {R(0x55AA), R(0xAA),   R(0xAA00), R(0x55),  R(0x5500),
                                        R(0x55AA), W(0x55AA), R(0x55AA), W(0x55AA)};
  EXPECT_EQ(Seen(rig_.Recorder().Accesses()), expected);
}

TEST(ExchangeSignatureTest, AnUnknownSignatureEndsWithTheLeaveReadAndNoWrite) {
  ProtocolRig rig(MakeSignedPlainDisk("XE4810VO"));
  std::vector<uint8_t> data(512, 0x11);
  EXPECT_EQ(rig.Controller().ExchangeIn(SampleBlock(), data, 512, true), kResultWrongSignature);
  const std::vector<Access> expected = {R(0x55AA), R(0xAA),   R(0xAA00), R(0x55),
                                        R(0x5500), R(0x55AA), R(0x1234)};
  EXPECT_EQ(Seen(rig.Recorder().Accesses()), expected);
  EXPECT_EQ(data, std::vector<uint8_t>(512, 0x11));
  EXPECT_EQ(std::string(rig.Controller().LastSignature), "XE4810VO");
}

TEST_F(ExchangeTest, ADriveThatCannotBeOpenedGetsNothing) {
  rig_.Platform().Disk(0).options.openFails = true;
  std::vector<uint8_t> data(512, 0x11);
  EXPECT_EQ(ctl().ExchangeIn(SampleBlock(), data, 512, true), kResultOpenFailed);
  EXPECT_EQ(ctl().ExchangeOut(SampleBlock(), data, 512, true), kResultOpenFailed);
  EXPECT_EQ(ctl().ExchangeDiscover(SampleBlock(), data, 512, true), kResultOpenFailed);
  EXPECT_EQ(rig_.Recorder().AccessCount(), 0);
  EXPECT_EQ(data, std::vector<uint8_t>(512, 0x11));
}

// Faults at the accesses of an ExchangeIn of two sectors: the result code,
// the accesses that follow the first failing one, and the sector at the
// command address. Accesses: 0 save, 1-5 unlock, 6 command, 7 data, 8 check,
// then the restore (or, when the check cannot read, the leave read, the
// second look and the restore).
struct FaultCase {
  const char* step;
  std::vector<int> failing;
  FaultKind kind;
  int32_t code;
  std::vector<Access> after;  // the accesses after the first failing one
  bool sectorKept = true;     // the sector at the command address is as it was
};

class ExchangeFaultTest : public ::testing::TestWithParam<FaultCase> {};

TEST_P(ExchangeFaultTest, GivesTheStepsCodeAndLeavesTheSectorAsItWas) {
  const FaultCase& c = GetParam();
  for (bool heldOpen : {false, true}) {
    SCOPED_TRACE(heldOpen ? "held open" : "closed");
    ProtocolRig rig(MakeSignedPlainDisk());
    const auto before = rig.PeekSectors(0x55AA, 1);
    if (heldOpen) {
      ASSERT_TRUE(rig.Record().Open(true));
    }
    rig.ClearCounts();
    for (int index : c.failing) rig.Recorder().FailAccess(index, c.kind);
    std::vector<uint8_t> data(1024);
    EXPECT_EQ(rig.Controller().ExchangeIn(SampleBlock(), data, 1024, true), c.code);

    const auto seen = Seen(rig.Recorder().Accesses());
    const int first = c.failing.front();
    ASSERT_GT(seen.size(), static_cast<size_t>(first));
    EXPECT_EQ(std::vector<Access>(seen.begin() + first + 1, seen.end()), c.after);
    EXPECT_EQ(rig.PeekSectors(0x55AA, 1) == before, c.sectorKept);
    EXPECT_EQ(rig.Record().IsOpen(), heldOpen);
    EXPECT_EQ(rig.Opens(), heldOpen ? 0 : 1);
    EXPECT_EQ(rig.Closes(), heldOpen ? 0 : 1);
  }
}

INSTANTIATE_TEST_SUITE_P(
    EachStep, ExchangeFaultTest,
    ::testing::Values(
        // A save that fails sends nothing: there would be nothing to restore from.
        FaultCase{"save", {0}, FaultKind::kDropped, kResultSaveReadFailed, {}},
        FaultCase{"unlock 0xAA", {1}, FaultKind::kDropped, kResultUnlockReadAAFailed, {R(0x1234)}},
        FaultCase{"unlock 0xAA00", {2}, FaultKind::kDropped, kResultUnlockReadAA00Failed, {R(0x1234)}},
        FaultCase{"unlock 0x55", {3}, FaultKind::kDropped, kResultUnlockRead55Failed, {R(0x1234)}},
        FaultCase{"unlock 0x5500", {4}, FaultKind::kDropped, kResultUnlockRead5500Failed, {R(0x1234)}},
        FaultCase{"unlock 0x55AA", {5}, FaultKind::kDropped, kResultUnlockRead55AAFailed, {R(0x1234)}},
        // After the leave read the sector is checked: a write whose status
        // was lost may have stored the block.
        FaultCase{"command write", {6}, FaultKind::kDropped, kResultCommandWriteFailed,
                  {R(0x1234), R(0x55AA)}},
        FaultCase{"command write, status lost", {6}, FaultKind::kLost, kResultCommandWriteFailed,
                  {R(0x1234), R(0x55AA), W(0x55AA)}},
        // No leave read after a failed data phase; the check still runs.
        FaultCase{"data phase", {7}, FaultKind::kDropped, kResultDataPhaseFailed,
                  {R(0x55AA), W(0x55AA)}},
        // A check that cannot read: the drive may still wait for data, so it
        // leaves the vendor mode before the sector is looked at again.
        FaultCase{"check", {8}, FaultKind::kDropped, kResultSuccess,
                  {R(0x1234), R(0x55AA), W(0x55AA)}},
        FaultCase{"data phase and check", {7, 8}, FaultKind::kDropped, kResultDataPhaseFailed,
                  {R(0x55AA), R(0x1234), R(0x55AA), W(0x55AA)}},
        // Nothing is written when the sector cannot be looked at again, and
        // the user learns that it may hold the command block.
        FaultCase{"check and second look", {8, 10}, FaultKind::kDropped, kResultCommandAddressUnknown,
                  {R(0x1234), R(0x55AA)}, false},
        FaultCase{"check and leave read", {8, 9}, FaultKind::kDropped, kResultCommandAddressUnknown,
                  {R(0x1234)}, false},
        FaultCase{"data phase, check and second look", {7, 8, 10}, FaultKind::kDropped,
                  kResultCommandAddressUnknown, {R(0x55AA), R(0x1234), R(0x55AA)}, false},
        // A failed restore is tried again.
        FaultCase{"restore", {9}, FaultKind::kDropped, kResultSuccess, {W(0x55AA)}},
        // A restore that keeps failing outranks the command's own result.
        FaultCase{"restore, three times", {9, 10, 11}, FaultKind::kDropped, kResultRestoreFailed,
                  {W(0x55AA), W(0x55AA)}, false},
        FaultCase{"data phase and restore, three times", {7, 9, 10, 11}, FaultKind::kDropped,
                  kResultRestoreFailed, {R(0x55AA), W(0x55AA), W(0x55AA), W(0x55AA)}, false},
        FaultCase{"command write lost and restore, three times", {6, 9, 10, 11}, FaultKind::kLost,
                  kResultRestoreFailed, {R(0x1234), R(0x55AA), W(0x55AA), W(0x55AA), W(0x55AA)}}),
    [](const ::testing::TestParamInfo<FaultCase>& info) {
      std::string name = info.param.step;
      for (char& ch : name) {
        if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
      }
      return name;
    });

}  // namespace
}  // namespace dozered
