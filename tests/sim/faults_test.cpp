#include "sim/fault_injector.h"

#include <gtest/gtest.h>

#include "sim/simulated_drive.h"
#include "support/sim_vendor_host.h"

namespace dozered::sim {
namespace {

using testing::CommandBlock;

struct FaultCase {
  const char* name;
  FaultPlan plan;
  int expected;  // result of a ReadFlashId exchange (9 sector accesses)
  bool driveGoneAfterwards;
};

class FaultVariantTest : public ::testing::TestWithParam<FaultCase> {};

TEST_P(FaultVariantTest, ExchangeSeesTheInjectedFault) {
  DriveConfig config;
  config.faults = GetParam().plan;
  SimulatedDrive drive(config);
  std::vector<uint8_t> reply(2048);
  EXPECT_EQ(testing::ExchangeIn(drive, CommandBlock(0xF0, 0x20), reply.data(), 2048), GetParam().expected);
  ScsiCommand tur;
  ScsiOutcome outcome;
  EXPECT_EQ(drive.ExecuteScsi(tur, outcome), !GetParam().driveGoneAfterwards);
}

FaultPlan Nth(uint64_t n) { FaultPlan p; p.failNthAccess = n; return p; }
FaultPlan Lba(int64_t lba) { FaultPlan p; p.failLba = lba; return p; }
FaultPlan Writes() { FaultPlan p; p.failWrites = true; return p; }
FaultPlan After(uint64_t n) { FaultPlan p; p.failAfterAccess = n; return p; }

// Accesses of one exchange: 1 LBA 0, 2 save, 3-7 unlock, 8 command, 9 data, 10 check.
INSTANTIATE_TEST_SUITE_P(
    Faults, FaultVariantTest,
    ::testing::Values(FaultCase{"None", FaultPlan{}, 0, false}, FaultCase{"ThirdAccess", Nth(3), -1, false},
                      FaultCase{"SeventhAccess", Nth(7), -5, false}, FaultCase{"DataAccess", Nth(9), -7, false},
                      FaultCase{"UnlockLba", Lba(0x5500), -4, false}, FaultCase{"EveryWrite", Writes(), -6, false},
                      FaultCase{"CablePulledAtData", After(8), -7, true},
                      FaultCase{"CablePulledAtUnlock", After(4), -3, true}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

TEST(FaultInjectorTest, FailingLbaHitsEveryAccessTouchingIt) {
  FaultPlan plan;
  plan.failLba = 100;
  FaultInjector faults(plan);
  EXPECT_EQ(faults.OnSectorAccess(false, 96, 8), FaultInjector::Verdict::kMediumError);
  EXPECT_EQ(faults.OnSectorAccess(true, 100, 1), FaultInjector::Verdict::kMediumError);
  EXPECT_EQ(faults.OnSectorAccess(false, 101, 4), FaultInjector::Verdict::kPass);
  EXPECT_EQ(faults.OnSectorAccess(false, 92, 8), FaultInjector::Verdict::kPass);
}

TEST(FaultInjectorTest, NthAccessFailsOnce) {
  FaultInjector faults(Nth(2));
  EXPECT_EQ(faults.OnSectorAccess(false, 0, 1), FaultInjector::Verdict::kPass);
  EXPECT_EQ(faults.OnSectorAccess(false, 0, 1), FaultInjector::Verdict::kMediumError);
  EXPECT_EQ(faults.OnSectorAccess(false, 0, 1), FaultInjector::Verdict::kPass);
}

TEST(FaultInjectorTest, AnUnpluggedDriveAnswersNothingAtAll) {
  DriveConfig config;
  config.transport = Transport::kSata;
  config.faults = After(1);
  SimulatedDrive drive(config);
  uint8_t buffer[512];
  EXPECT_TRUE(testing::ScsiRead(drive, 0, 1, buffer));
  EXPECT_FALSE(testing::ScsiRead(drive, 0, 1, buffer));
  AtaCommand identify;
  identify.current.command = 0xEC;
  identify.data = buffer;
  identify.length = 512;
  EXPECT_FALSE(drive.ExecuteAta(identify));
}

}  // namespace
}  // namespace dozered::sim
