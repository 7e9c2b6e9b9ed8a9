#include <gtest/gtest.h>

#include "sim/code_images.h"
#include "sim/simulated_drive.h"
#include "support/sim_code_loading.h"
#include "support/sim_vendor_host.h"

namespace dozered::sim {
namespace {

using testing::CardModeOf;
using testing::CommandBlock;
using testing::Sector;

DriveConfig InMode(int mode) {
  DriveConfig config;
  config.cardMode = mode;
  return config;
}

int RunCommand(SimulatedDrive& drive, uint8_t opcode, uint32_t bytes = 512) {
  std::vector<uint8_t> reply((bytes + 511) / 512 * 512);
  Sector command = CommandBlock(0xF0, opcode);
  if (opcode == 0x3E) command[3] = 0xD0;
  if (opcode == 0x44) command[2] = 1;
  return testing::ExchangeIn(drive, command, reply.data(), bytes);
}

struct ModeCase {
  int mode;
  uint8_t opcode;
  uint32_t bytes;
  bool answered;
};

class CodeModeCommandTest : public ::testing::TestWithParam<ModeCase> {};

TEST_P(CodeModeCommandTest, AnswersOnlyTheCommandsOfItsMode) {
  const ModeCase& c = GetParam();
  SimulatedDrive drive(InMode(c.mode));
  EXPECT_EQ(RunCommand(drive, c.opcode, c.bytes), c.answered ? 0 : -7);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, CodeModeCommandTest,
    ::testing::Values(ModeCase{0, 0x20, 2048, true}, ModeCase{0, 0x3F, 512, true}, ModeCase{0, 0x04, 512, true},
                      ModeCase{0, 0x3E, 512, false}, ModeCase{0, 0x0A, 1024, false}, ModeCase{0, 0x42, 16896, false},
                      ModeCase{0, 0x2C, 512, false}, ModeCase{1, 0x0A, 1024, true}, ModeCase{1, 0x43, 8192, true},
                      ModeCase{1, 0x44, 12288, true}, ModeCase{1, 0xA7, 1024, true}, ModeCase{1, 0x3E, 512, false},
                      ModeCase{1, 0x47, 512, false}, ModeCase{2, 0x3E, 512, true}, ModeCase{2, 0xA7, 1024, true},
                      ModeCase{2, 0x43, 8192, false}, ModeCase{2, 0x44, 12288, false}, ModeCase{2, 0x46, 512, false},
                      ModeCase{2, 0x41, 512, false}, ModeCase{2, 0x45, 1024, false}));

TEST(CodeModeTest, DownloadAndJumpBringARomDriveIntoMpispMode) {
  SimulatedDrive drive(InMode(0));
  // Two pieces: 64 KiB and a part of a sector.
  const auto file = BuildMpispFile(drive.model().identity.ispVersion, 65536 + 300);
  ASSERT_EQ(testing::LoadMpisp(drive, file), 0);
  EXPECT_EQ(CardModeOf(drive), 1);
  EXPECT_EQ(RunCommand(drive, 0x43, 8192), 0);
}

TEST(CodeModeTest, JumpWithoutACompleteImageFails) {
  SimulatedDrive drive(InMode(0));
  auto file = BuildMpispFile(drive.model().identity.ispVersion, 3 * 65536);
  file[1024 + 70000] ^= 0xFF;  // damaged image: the checksum does not match
  EXPECT_EQ(testing::LoadMpisp(drive, file), -7);
  EXPECT_EQ(CardModeOf(drive), 0);

  SimulatedDrive fresh(InMode(0));
  Sector jump = CommandBlock(0xF1, 0x28);
  jump[8] = 0x01;  // 0x10000
  std::vector<uint8_t> first(512, 0);
  EXPECT_EQ(testing::ExchangeOut(fresh, jump, first.data(), 512), -7);
  EXPECT_EQ(CardModeOf(fresh), 0);
}

TEST(CodeModeTest, NormalFirmwareRefusesTheDownload) {
  SimulatedDrive drive(InMode(2));
  const auto file = BuildMpispFile(drive.model().identity.ispVersion, 4096);
  EXPECT_EQ(testing::LoadMpisp(drive, file), -7);
  EXPECT_EQ(CardModeOf(drive), 2);
}

TEST(CodeModeTest, EnterRomCodeModeWithValue1ReturnsToRom) {
  for (int mode : {1, 2}) {
    SimulatedDrive drive(InMode(mode));
    Sector other = CommandBlock(0xF0, 0x2C);
    other[2] = 2;
    std::vector<uint8_t> reply(512);
    ASSERT_EQ(testing::ExchangeIn(drive, other, reply.data(), 512), 0);
    EXPECT_EQ(CardModeOf(drive), mode);
    Sector enter = CommandBlock(0xF0, 0x2C);
    enter[2] = 1;
    ASSERT_EQ(testing::ExchangeIn(drive, enter, reply.data(), 512), 0);
    EXPECT_EQ(CardModeOf(drive), 0);
  }
}

TEST(DiagnosticCodeTest, DiagnosticReadsNeedTheMatchingProgram) {
  SimulatedDrive drive(InMode(2));
  const auto& version = drive.model().identity.ispVersion;
  EXPECT_EQ(RunCommand(drive, 0x43, 8192), -7);
  // Another kind of program does not open the mark-bad read.
  ASSERT_EQ(testing::LoadDiagnostic(drive, BuildDiagnosticFile(DiagnosticKind::kReadChunkEcc, version, false)), 0);
  EXPECT_EQ(RunCommand(drive, 0x43, 8192), -7);
  EXPECT_EQ(RunCommand(drive, 0x46, 512), 0);
  ASSERT_EQ(testing::LoadDiagnostic(drive, BuildDiagnosticFile(DiagnosticKind::kReadBadInfo, version, true)), 0);
  EXPECT_EQ(RunCommand(drive, 0x43, 8192), 0);
  EXPECT_EQ(RunCommand(drive, 0x46, 512), -7);
}

TEST(DiagnosticCodeTest, ProgramForAnotherIspVersionOrAddressIsRefused) {
  SimulatedDrive drive(InMode(2));
  auto other = drive.model().identity.ispVersion;
  other[0] ^= 0x01;
  EXPECT_EQ(testing::LoadDiagnostic(drive, BuildDiagnosticFile(DiagnosticKind::kReadBadInfo, other, false)), -7);
  EXPECT_EQ(RunCommand(drive, 0x43, 8192), -7);
  // A bare file sent to another address than the one it was linked for.
  auto file = BuildDiagnosticFile(DiagnosticKind::kReadBadInfo, drive.model().identity.ispVersion, true, 0xE400);
  file[16] = 0x00;
  file[17] = 0xF0;
  EXPECT_EQ(testing::LoadDiagnostic(drive, file), -7);
}

}  // namespace
}  // namespace dozered::sim
