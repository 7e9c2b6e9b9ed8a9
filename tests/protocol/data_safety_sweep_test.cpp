// Data safety of the transport: with sector accesses failing at every
// position of a command (one access, two in a row, every access from there
// on, every write from there on), on drives that take commands and on drives
// that store them as data:
//  - no user sector differs afterwards, unless the result says that the
//    sector at the command address could not be put back or read back, and
//    then only sectors from the command address on differ;
//  - nothing but the command's own data is written while the drive may still
//    wait for the data phase;
//  - a data-in command that reports success holds the drive's whole reply.
#include <gtest/gtest.h>

#include <algorithm>
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
using testing::SectorAccess;

constexpr uint8_t kDataByte = 0x3C;  // every byte of the data a data-out command sends

struct SweepCommand {
  const char* name;
  uint32_t sectors;  // how far the command's data reaches beyond the command address
  bool dataIn;       // the buffer receives the reply
  std::function<int32_t(VE4810VO&, std::vector<uint8_t>&)> send;
};

const std::vector<SweepCommand>& Commands() {
  static const std::vector<SweepCommand> commands = {
      {"ReadFlashId", 4, true, [](VE4810VO& c, std::vector<uint8_t>& b) { return c.ReadFlashId(4, b); }},
      {"DiscoverReadFlashId", 4, true,
       [](VE4810VO& c, std::vector<uint8_t>& b) { return c.DiscoverReadFlashId(4, b); }},
      {"SetFlashClock", 1, false, [](VE4810VO& c, std::vector<uint8_t>&) { return c.SetFlashClock(0x0102); }},
      {"DownloadCode", 3, false,
       [](VE4810VO& c, std::vector<uint8_t>& b) {
         return c.DownloadCode(0x20000, 3, std::span<const uint8_t>(b).first(3 * 512));
       }},
      {"WriteFlash", 4, false,
       [](VE4810VO& c, std::vector<uint8_t>& b) {
         FlashAddress address;
         address.block = 0x40;
         address.page = 3;
         address.option = 0x21;
         return c.WriteFlash(address, 4, b);
       }},
  };
  return commands;
}

// Where the failures start and how far they reach.
enum class Pattern {
  kOne,             // the access at the position
  kTwoInARow,       // it and the next (a data phase and its check, a check and the leave read, ...)
  kFromThereOn,     // every access from the position on: the drive stops answering
  kWritesFromThere  // every write from the position on: restores fail
};

const char* PatternName(Pattern p) {
  switch (p) {
    case Pattern::kOne: return "One";
    case Pattern::kTwoInARow: return "TwoInARow";
    case Pattern::kFromThereOn: return "FromThereOn";
    case Pattern::kWritesFromThere: return "WritesFromThere";
  }
  return "";
}

void Inject(testing::RecordingDrive& drive, Pattern pattern, int at, FaultKind kind) {
  switch (pattern) {
    case Pattern::kOne: drive.FailAccess(at, kind); break;
    case Pattern::kTwoInARow:
      drive.FailAccess(at, kind);
      drive.FailAccess(at + 1, kind);
      break;
    case Pattern::kFromThereOn: drive.FailFrom(at, kind); break;
    case Pattern::kWritesFromThere: drive.FailFrom(at, kind, true); break;
  }
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

// Sectors a restore puts back: those from a command address on.
bool FromACommandAddress(uint32_t lba, uint32_t sectors) {
  return (lba >= 0x55AA && lba < 0x55AA + sectors) || (lba >= 0x0789 && lba < 0x0789 + sectors);
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

bool IsCommandBlock(const SectorAccess& a) {
  return a.write && a.count == 1 && a.data.size() >= 2 && (a.data[0] == 0xF0 || a.data[0] == 0xF1);
}

bool IsCommandData(const SectorAccess& a) {
  return std::all_of(a.data.begin(), a.data.end(), [](uint8_t b) { return b == kDataByte; });
}

// After a command block reached the drive, until a read reaches it, the drive
// may be waiting for the command's data: every write it receives in that
// time must be the command's own data. `dropped` tells which accesses never
// reached the drive.
std::string WriteWhileArmed(const std::vector<SectorAccess>& log, const std::vector<bool>& dropped) {
  bool armed = false;
  for (size_t i = 0; i < log.size(); ++i) {
    if (dropped[i]) continue;
    const SectorAccess& a = log[i];
    if (!a.write) {
      armed = false;
    } else if (IsCommandBlock(a)) {
      armed = true;
    } else if (armed && !IsCommandData(a)) {
      return "access " + std::to_string(i) + " wrote other data while the drive waited for data";
    }
  }
  return {};
}

struct SweepParam {
  testing::SweepDrive drive;
  FaultKind kind;
  Pattern pattern;
};

void PrintTo(const SweepParam& p, std::ostream* os) {
  *os << p.drive.name << (p.kind == FaultKind::kDropped ? " dropped " : " lost ") << PatternName(p.pattern);
}

class DataSafetySweepTest : public ::testing::TestWithParam<SweepParam> {};

TEST_P(DataSafetySweepTest, NoUserSectorChangesUnnoticedWhateverAccessesFail) {
  const SweepParam& p = GetParam();
  for (const SweepCommand& command : Commands()) {
    SCOPED_TRACE(command.name);
    const auto lbas = GuardedLbas(command.sectors);
    int accesses = 0;
    int32_t cleanResult = 0;
    std::vector<uint8_t> cleanReply;
    {
      ProtocolRig rig(p.drive.make());
      Prepare(rig, p.drive, lbas);
      ASSERT_TRUE(rig.Record().Open(true));
      rig.ClearCounts();
      std::vector<uint8_t> buffer(4 * 512, kDataByte);
      cleanResult = command.send(rig.Controller(), buffer);
      cleanReply = buffer;
      accesses = rig.Recorder().AccessCount();
      ASSERT_GT(accesses, 8);
    }
    for (int at = 0; at < accesses; ++at) {
      SCOPED_TRACE("failing from access " + std::to_string(at));
      ProtocolRig rig(p.drive.make());
      const auto before = Prepare(rig, p.drive, lbas);
      ASSERT_TRUE(rig.Record().Open(true));
      rig.ClearCounts();
      Inject(rig.Recorder(), p.pattern, at, p.kind);
      std::vector<uint8_t> buffer(4 * 512, kDataByte);
      const int32_t result = command.send(rig.Controller(), buffer);
      const std::vector<SectorAccess> log = rig.Recorder().Accesses();
      rig.Recorder().ClearFaults();
      p.drive.settle(rig);

      const bool toldTheUser = result == kResultRestoreFailed || result == kResultCommandAddressUnknown;
      for (size_t i = 0; i < lbas.size(); ++i) {
        if (toldTheUser && FromACommandAddress(lbas[i], command.sectors)) continue;
        EXPECT_EQ(rig.PeekSectors(lbas[i], 1), before[i]) << "LBA 0x" << std::hex << lbas[i] << ", result "
                                                          << std::dec << result;
      }
      std::vector<bool> dropped(log.size());
      for (size_t i = 0; i < log.size(); ++i) dropped[i] = log[i].failed && p.kind == FaultKind::kDropped;
      EXPECT_EQ(WriteWhileArmed(log, dropped), "");
      if (command.dataIn && result == kResultSuccess && cleanResult == kResultSuccess) {
        EXPECT_EQ(buffer, cleanReply) << "success with a reply that is not the drive's";
      }
    }
  }
}

std::vector<SweepParam> Params() {
  std::vector<SweepParam> params;
  for (const auto& drive : testing::SweepDrives()) {
    for (FaultKind kind : {FaultKind::kDropped, FaultKind::kLost}) {
      for (Pattern pattern : {Pattern::kOne, Pattern::kTwoInARow, Pattern::kFromThereOn, Pattern::kWritesFromThere}) {
        params.push_back({drive, kind, pattern});
      }
    }
  }
  return params;
}

INSTANTIATE_TEST_SUITE_P(Drives, DataSafetySweepTest, ::testing::ValuesIn(Params()),
                         [](const ::testing::TestParamInfo<SweepParam>& info) {
                           return std::string(info.param.drive.name) +
                                  (info.param.kind == FaultKind::kDropped ? "_Dropped_" : "_Lost_") +
                                  PatternName(info.param.pattern);
                         });

}  // namespace
}  // namespace dozered
