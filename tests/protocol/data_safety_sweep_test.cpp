// Data safety of the transport: with one failing sector access at every
// position of a command, on drives that take commands and on drives that
// store them as data, no user sector differs afterwards.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "protocol/result_codes.h"
#include "support/protocol_rig.h"
#include "support/sweep_drives.h"

namespace dozered {
namespace {

using testing::FaultKind;
using testing::ProtocolRig;

struct SweepCommand {
  const char* name;
  uint32_t sectors;  // how far the command's data reaches beyond the command address
  std::function<int32_t(VE4810VO&, std::vector<uint8_t>&)> send;
};

const std::vector<SweepCommand>& Commands() {
  static const std::vector<SweepCommand> commands = {
      {"ReadFlashId", 4, [](VE4810VO& c, std::vector<uint8_t>& b) { return c.ReadFlashId(4, b); }},
      {"DiscoverReadFlashId", 4,
       [](VE4810VO& c, std::vector<uint8_t>& b) { return c.DiscoverReadFlashId(4, b); }},
      {"SetFlashClock", 1, [](VE4810VO& c, std::vector<uint8_t>&) { return c.SetFlashClock(0x0102); }},
      {"DownloadCode", 3,
       [](VE4810VO& c, std::vector<uint8_t>& b) {
         return c.DownloadCode(0x20000, 3, std::span<const uint8_t>(b).first(3 * 512));
       }},
  };
  return commands;
}

// The user sectors an exchange could touch, with their neighbours.
std::vector<uint32_t> GuardedLbas(uint32_t sectors) {
  std::vector<uint32_t> lbas = {0, 1, 0xAA, 0xAA00, 0x55, 0x5500, 0x1234, 0x55A9, 0x0788};
  for (uint32_t i = 0; i <= sectors; ++i) {
    lbas.push_back(0x55AA + i);
    lbas.push_back(0x0789 + i);
  }
  return lbas;
}

// Fills the guarded sectors with patterns (the signature sector keeps what
// the drive needs there) and returns their content.
std::vector<std::vector<uint8_t>> Prepare(ProtocolRig& rig, const testing::SweepDrive& drive,
                                          const std::vector<uint32_t>& lbas) {
  std::vector<std::vector<uint8_t>> content;
  for (uint32_t lba : lbas) {
    auto sector = testing::PatternSector(lba);
    if (drive.signatureInUserData && lba == 0x55AA) std::memcpy(sector.data() + 46, "VE4810VO", 8);
    rig.PokeSectors(lba, sector);
    content.push_back(rig.PeekSectors(lba, 1));
  }
  return content;
}

struct SweepParam {
  testing::SweepDrive drive;
  FaultKind kind;
};

void PrintTo(const SweepParam& p, std::ostream* os) {
  *os << p.drive.name << (p.kind == FaultKind::kDropped ? " dropped" : " lost");
}

class DataSafetySweepTest : public ::testing::TestWithParam<SweepParam> {};

TEST_P(DataSafetySweepTest, NoUserSectorChangesWhateverAccessFails) {
  const SweepParam& p = GetParam();
  for (const SweepCommand& command : Commands()) {
    SCOPED_TRACE(command.name);
    const auto lbas = GuardedLbas(command.sectors);
    int accesses = 0;
    {
      ProtocolRig rig(p.drive.make());
      Prepare(rig, p.drive, lbas);
      ASSERT_TRUE(rig.Record().Open(true));
      rig.ClearCounts();
      std::vector<uint8_t> buffer(4 * 512, 0x3C);
      command.send(rig.Controller(), buffer);
      accesses = rig.Recorder().AccessCount();
      ASSERT_GT(accesses, 8);
    }
    for (int at = 0; at < accesses; ++at) {
      SCOPED_TRACE("failing access " + std::to_string(at));
      ProtocolRig rig(p.drive.make());
      const auto before = Prepare(rig, p.drive, lbas);
      ASSERT_TRUE(rig.Record().Open(true));
      rig.ClearCounts();
      rig.Recorder().FailAccess(at, p.kind);
      std::vector<uint8_t> buffer(4 * 512, 0x3C);
      command.send(rig.Controller(), buffer);
      rig.Recorder().ClearFaults();
      p.drive.settle(rig);
      for (size_t i = 0; i < lbas.size(); ++i) {
        EXPECT_EQ(rig.PeekSectors(lbas[i], 1), before[i]) << "LBA 0x" << std::hex << lbas[i];
      }
    }
  }
}

std::vector<SweepParam> Params() {
  std::vector<SweepParam> params;
  for (const auto& drive : testing::SweepDrives()) {
    for (FaultKind kind : {FaultKind::kDropped, FaultKind::kLost}) params.push_back({drive, kind});
  }
  return params;
}

INSTANTIATE_TEST_SUITE_P(Drives, DataSafetySweepTest, ::testing::ValuesIn(Params()),
                         [](const ::testing::TestParamInfo<SweepParam>& info) {
                           return std::string(info.param.drive.name) +
                                  (info.param.kind == FaultKind::kDropped ? "_Dropped" : "_Lost");
                         });

}  // namespace
}  // namespace dozered
