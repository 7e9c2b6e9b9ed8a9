#include "sim/virtual_drives_ini.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "sim/simulated_drive.h"
#include "support/file_bytes.h"
#include "support/temp_dir.h"

namespace dozered::sim {
namespace {

TEST(VirtualDrivesIniTest, ParsesEveryKindOfDeclaration) {
  const std::string text =
      "; demo\r\n"
      "[First]\r\n"
      "Kind=controller\r\nTransport=nvme\r\nSeed=0x10\r\nCardMode=1\r\nSignature=VE4810VI\r\n"
      "CommandAddress=0x0789\r\nIspFolder=V10\r\nIspTag=SNDK\r\nStateFile=one.state\r\n"
      "Port=2\r\nTarget=1\r\nVolumes=E, f\r\nFailLba=0x55AA\r\nFailAfter=40\r\n"
      "[Second]\r\nKind=plain\r\nIntercept=0\r\nChannels=2\r\nCes=2\r\nOpenFails=yes\r\nFailWrites=1\r\n"
      "AverageEraseCount=3000\r\nDataAgeHours=8760\r\nPagesPerBlock=129\r\n";
  const auto drives = ParseVirtualDrivesIni(text, "base");
  ASSERT_EQ(drives.size(), 2u);
  const DriveConfig& a = drives[0].config;
  EXPECT_EQ(a.label, "First");
  EXPECT_EQ(a.transport, Transport::kNvme);
  EXPECT_EQ(a.seed, 16u);
  EXPECT_EQ(a.cardMode, 1);
  EXPECT_EQ(a.signature, "VE4810VI");
  EXPECT_EQ(a.intercept, CommandIntercept::kAtFallbackAddress);
  EXPECT_EQ(a.ispTag, "SNDK");
  EXPECT_EQ(a.stateFile, "base/one.state");
  EXPECT_EQ(a.faults.failLba, 0x55AA);
  EXPECT_EQ(a.faults.failAfterAccess, 40u);
  EXPECT_EQ(drives[0].options.port, 2);
  EXPECT_EQ(drives[0].options.volumeLetters, (std::vector<char>{'e', 'f'}));
  const DriveDeclaration& b = drives[1];
  EXPECT_EQ(b.config.kind, DriveKind::kPlainDisk);
  EXPECT_EQ(b.config.intercept, CommandIntercept::kNone);
  EXPECT_EQ(b.config.geometry.channels, 2);
  EXPECT_EQ(b.config.geometry.interleaveWays, 2);
  EXPECT_TRUE(b.options.openFails);
  EXPECT_TRUE(b.config.faults.failWrites);
  EXPECT_EQ(b.config.averageEraseCount, 3000);
  EXPECT_EQ(b.config.dataAgeHours, 8760);
  EXPECT_EQ(b.config.geometry.pagesPerBlock, 128);  // whole wordlines
}

TEST(VirtualDrivesIniTest, LoadBuildsOneSimulatedDrivePerSection) {
  const testing::TempDir dir;
  const std::string path = dir.Write("VirtualDrives.ini", "[A]\nCardMode=0\n[B]\nKind=plain\n");
  const auto disks = LoadVirtualDrives(path);
  ASSERT_EQ(disks.size(), 2u);
  auto* a = dynamic_cast<SimulatedDrive*>(disks[0].drive.get());
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->model().cardMode, 0);
  EXPECT_EQ(disks[1].label, "B");
  EXPECT_TRUE(LoadVirtualDrives(dir.Path("missing.ini")).empty());
}

}  // namespace
}  // namespace dozered::sim

namespace dozered::sim {
namespace {

TEST(DemoDrivesTest, DemoDeclaresEveryCodeModeAndAPlainDisk) {
  std::string text;
  ASSERT_TRUE(testing::ReadFileBytes((std::filesystem::path(DOZERED_DEMO_DIR) / "VirtualDrives.ini").string(), text));
  std::set<int> modes;
  bool plain = false;
  for (const DriveDeclaration& d : ParseVirtualDrivesIni(text, "")) {
    if (d.config.kind == DriveKind::kPlainDisk) {
      plain = true;
    } else {
      modes.insert(d.config.cardMode);
      EXPECT_FALSE(d.config.stateFile.empty()) << d.config.label;
    }
  }
  EXPECT_EQ(modes, (std::set<int>{0, 1, 2}));
  EXPECT_TRUE(plain);
}

TEST(DemoDrivesTest, DemoHasAFreshDriveAndAWornAgedDriveUnderNormalFirmware) {
  std::string text;
  ASSERT_TRUE(testing::ReadFileBytes((std::filesystem::path(DOZERED_DEMO_DIR) / "VirtualDrives.ini").string(), text));
  bool fresh = false;
  bool worn = false;
  for (const DriveDeclaration& d : ParseVirtualDrivesIni(text, "")) {
    if (d.config.kind != DriveKind::kController || d.config.cardMode != 2) continue;
    fresh = fresh || (d.config.averageEraseCount > 0 && d.config.averageEraseCount <= 50 && d.config.dataAgeHours <= 48);
    worn = worn || (d.config.averageEraseCount >= d.config.ratedCycles && d.config.dataAgeHours >= 24 * 365);
  }
  EXPECT_TRUE(fresh);
  EXPECT_TRUE(worn);
}

}  // namespace
}  // namespace dozered::sim
