// Every vendor command on a drive under its normal firmware: the length of
// the reply the tool reads and the layout it relies on.
#include <gtest/gtest.h>

#include <cstring>
#include <algorithm>
#include <functional>
#include <set>

#include "sim/code_images.h"
#include "sim/records.h"
#include "sim/simulated_drive.h"
#include "support/sim_code_loading.h"
#include "support/sim_vendor_host.h"

namespace dozered::sim {
namespace {

using testing::CommandBlock;
using testing::Sector;

uint16_t U16(const std::vector<uint8_t>& r, size_t at) { return static_cast<uint16_t>(r[at] | (r[at + 1] << 8)); }

struct CommandCase {
  const char* name;
  uint8_t directionClass;
  uint8_t opcode;
  std::function<void(Sector&)> parameters;
  uint32_t bytes;
  DiagnosticKind diagnostic;
  std::function<void(const std::vector<uint8_t>&, SimulatedDrive&)> check;
};

void NoParameters(Sector&) {}

class FirmwareCommandTest : public ::testing::TestWithParam<CommandCase> {};

TEST_P(FirmwareCommandTest, AnswersWithTheLayoutTheToolReads) {
  const CommandCase& c = GetParam();
  SimulatedDrive drive{DriveConfig{}};
  if (c.diagnostic != DiagnosticKind::kNone) {
    ASSERT_EQ(testing::LoadDiagnostic(drive, BuildDiagnosticFile(c.diagnostic, drive.model().identity.ispVersion, false)), 0);
  }
  Sector command = CommandBlock(c.directionClass, c.opcode);
  c.parameters(command);
  std::vector<uint8_t> reply((c.bytes + 511) / 512 * 512, 0xCC);
  ASSERT_EQ(testing::ExchangeIn(drive, command, reply.data(), c.bytes), 0) << c.name;
  c.check(reply, drive);
}

const CommandCase kCases[] = {
    {"ReadFlashId", 0xF0, 0x20, NoParameters, 2048, DiagnosticKind::kNone,
     [](const std::vector<uint8_t>& r, SimulatedDrive&) {
       EXPECT_EQ(r[card_info::kCardMode], 2);
       EXPECT_EQ(r[card_info::kChannelCount], 4);
       EXPECT_EQ(r[card_info::kCeCount], 4);
       EXPECT_EQ(r[card_info::kInterleaveWays], 2);
       EXPECT_EQ(r[card_info::kPlaneCount], 2);
       EXPECT_EQ(U16(r, card_info::kTotalFBlockCount), 2048);
       EXPECT_EQ(U16(r, card_info::kBlocksPerCe), 1024);
       EXPECT_EQ(r[card_info::kPageSizeKiB], 16);
       EXPECT_EQ(r[card_info::kSectorsPerPage], 32);
       EXPECT_EQ(U16(r, card_info::kPagesPerBlock), 256);
       EXPECT_EQ(U16(r, card_info::kEraseCountStartBlockOffset), kEraseCountStartBlock);
       // Flash IDs at every populated CE and channel, none elsewhere.
       EXPECT_NE(r[48 + 32 * 3 + 8 * 3], 0);
       EXPECT_EQ(r[48 + 32 * 4], 0);
       EXPECT_EQ(r[card_info::kFlashMakerCode], r[48]);
     }},
    {"ReadIdentify", 0xF0, 0x3F, NoParameters, 512, DiagnosticKind::kNone,
     [](const std::vector<uint8_t>& r, SimulatedDrive& d) {
       EXPECT_EQ(U16(r, 0), 0x0040);
       EXPECT_EQ(U16(r, 120) | (U16(r, 122) << 16), d.capacity());   // words 60-61
       EXPECT_EQ(U16(r, 200) | (U16(r, 202) << 16), d.capacity());   // words 100-101
       EXPECT_EQ(std::memcmp(r.data() + 54, "EV8401OV", 8), 0);      // model in ATA byte order
       EXPECT_EQ(r[510], 0xA5);
       uint8_t sum = 0;
       for (uint8_t b : r) sum = static_cast<uint8_t>(sum + b);
       EXPECT_EQ(sum, 0);
     }},
    {"ReadIspInfo", 0xF0, 0x04, NoParameters, 512, DiagnosticKind::kNone,
     [](const std::vector<uint8_t>& r, SimulatedDrive& d) {
       EXPECT_EQ(std::memcmp(r.data() + 404, d.model().identity.ispVersion.data(), 16), 0);
     }},
    {"ReadSmart", 0xF0, 0x3E, [](Sector& s) { s[3] = 0xD0; }, 512, DiagnosticKind::kNone,
     [](const std::vector<uint8_t>& r, SimulatedDrive& d) {
       bool temperature = false;
       for (size_t e = 0; e < 30; ++e) {
         const size_t at = 2 + 12 * e;
         if (r[at] == 0xC2) {
           temperature = true;
           EXPECT_EQ(r[at + 5], d.config().temperature);
         }
       }
       EXPECT_TRUE(temperature);
     }},
    {"ReadCid", 0xF0, 0x47, NoParameters, 512, DiagnosticKind::kNone,
     [](const std::vector<uint8_t>& r, SimulatedDrive&) { EXPECT_EQ(std::memcmp(r.data() + 32, "VE4810VO", 8), 0); }},
    {"ReadEraseCount", 0xF0, 0x42, NoParameters, 16896, DiagnosticKind::kNone,
     [](const std::vector<uint8_t>& r, SimulatedDrive&) { EXPECT_EQ(U16(r, 16384), 2048); }},
    {"ReadErrorLog", 0xF0, 0xA7, NoParameters, 1024, DiagnosticKind::kNone,
     [](const std::vector<uint8_t>& r, SimulatedDrive&) { EXPECT_GE(U16(r, 0), U16(r, 2)); }},
    {"ReadMarkBadInfo", 0xF0, 0x43, NoParameters, 8192, DiagnosticKind::kReadBadInfo,
     [](const std::vector<uint8_t>& r, SimulatedDrive&) {
       const int n = static_cast<int16_t>(U16(r, 0));
       ASSERT_GE(n, 4);
       std::set<uint8_t> reasons;
       for (int k = 0; k < n; ++k) reasons.insert(r[8 + 8 * static_cast<size_t>(k) + 7]);
       EXPECT_TRUE(reasons.count(0x80) && reasons.count(0xFF) && reasons.count(0x7F));
       EXPECT_TRUE(std::any_of(reasons.begin(), reasons.end(), [](uint8_t v) { return v != 0x80 && v != 0xFF && v != 0x7F; }));
     }},
    {"ReadBadBlockInfo", 0xF0, 0x44, [](Sector& s) { s[2] = 1; }, 12288, DiagnosticKind::kReadFlashDiagnosis,
     [](const std::vector<uint8_t>& r, SimulatedDrive&) {
       int total = 0;
       for (size_t k = 0; k < 128; ++k) total += U16(r, 2 * k);
       EXPECT_GT(total, 0);
       EXPECT_NE(U16(r, 512 + 4 * static_cast<size_t>(total - 1)), 0);
       EXPECT_EQ(U16(r, 512 + 4 * static_cast<size_t>(total)), 0);
     }},
    {"TranslateLba", 0xF0, 0x41, [](Sector& s) { s[2] = 0x89; s[3] = 0x07; s[15] = 0x44; }, 512, DiagnosticKind::kTranLba2Pba,
     [](const std::vector<uint8_t>& r, SimulatedDrive&) {
       // Never written, so it has no place in the flash; written LBAs are tested with the translation layer.
       EXPECT_EQ(U16(r, 0), 0xAAAA);
       EXPECT_TRUE(std::all_of(r.begin() + 2, r.end(), [](uint8_t b) { return b == 0; }));
     }},
    {"ReadChunkEcc", 0xF0, 0x46, [](Sector& s) { s[3] = 0x20; s[5] = 7; }, 512, DiagnosticKind::kReadChunkEcc,
     [](const std::vector<uint8_t>& r, SimulatedDrive&) {
       // (16 + 1) x 2 x 8 = 272 bytes in one sector; the rest of the sector is 0.
       EXPECT_TRUE(std::all_of(r.begin() + 272, r.end(), [](uint8_t b) { return b == 0; }));
     }},
    {"ReadFlash", 0xF0, 0x0A, [](Sector& s) { testing::SetFlashAddress(s, 2, 0, 0, 0x15, 0x00); }, 33 * 512,
     DiagnosticKind::kNone,
     [](const std::vector<uint8_t>& r, SimulatedDrive&) { EXPECT_EQ(r[32 * 512 + 16], 0x0B); }},
    {"ReadFlashDistribution", 0xF0, 0x45, [](Sector& s) { testing::SetFlashAddress(s, 100, 4, 0, 0x2E, 0); s[15] = 3; },
     33 * 512, DiagnosticKind::kReadDistribution,
     [](const std::vector<uint8_t>& r, SimulatedDrive&) { EXPECT_EQ(r.size(), 33u * 512); }},
    {"SetFlashClock", 0xF0, 0xB1, [](Sector& s) { s[2] = 0x21; s[3] = 0x01; }, 512, DiagnosticKind::kNone,
     [](const std::vector<uint8_t>&, SimulatedDrive& d) { EXPECT_EQ(d.model().flashClock, 0x0121); }},
};

INSTANTIATE_TEST_SUITE_P(AllCommands, FirmwareCommandTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<CommandCase>& info) { return std::string(info.param.name); });

TEST(FirmwareTranslationTest, LbaBeyondTheCapacityDoesNotExist) {
  SimulatedDrive drive{DriveConfig{}};
  ASSERT_EQ(testing::LoadDiagnostic(drive, BuildDiagnosticFile(DiagnosticKind::kTranLba2Pba, drive.model().identity.ispVersion, true)), 0);
  Sector command = CommandBlock(0xF0, 0x41);
  const uint32_t lba = drive.capacity();
  for (int b = 0; b < 4; ++b) command[static_cast<size_t>(2 + b)] = static_cast<uint8_t>(lba >> (8 * b));
  command[15] = 0x44;
  const std::vector<uint8_t> reply = testing::ReadReply(drive, command, 512);
  ASSERT_FALSE(reply.empty());
  EXPECT_EQ(U16(reply, 0), 0xAAAA);
}

TEST(FirmwareCommandDirectionTest, WrongDirectionClassIsRefused) {
  SimulatedDrive drive{DriveConfig{}};
  std::vector<uint8_t> reply(2048);
  EXPECT_EQ(testing::ExchangeIn(drive, CommandBlock(0xF1, 0x20), reply.data(), 2048), -7);
  EXPECT_EQ(testing::ExchangeIn(drive, CommandBlock(0xF0, 0x99), reply.data(), 512), -7);
}

}  // namespace
}  // namespace dozered::sim
