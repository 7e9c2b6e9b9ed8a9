// The simulated drives seen the way the tool sees them: through the Virtual
// platform, a StorageDevice record and the controller's probe and commands.
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <vector>

#include "device/storage_device.h"
#include "device/virtual_platform.h"
#include "protocol/ve4810vo.h"
#include "sim/code_images.h"
#include "sim/simulated_drive.h"

namespace dozered::sim {
namespace {

struct ProbeCase {
  const char* name;
  DriveKind kind;
  Transport transport;
  CommandIntercept intercept;
  const char* signature;
  bool detected;
  uint32_t commandAddress;
};

class ThroughPlatformTest : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(ThroughPlatformTest, ProbeDetectsExactlyTheControllerDrives) {
  const ProbeCase& c = GetParam();
  DriveConfig config;
  config.kind = c.kind;
  config.transport = c.transport;
  config.intercept = c.intercept;
  config.signature = c.signature;
  VirtualDisk virtualDisk;
  virtualDisk.label = c.name;
  virtualDisk.drive = std::make_shared<SimulatedDrive>(config);
  VirtualPlatform platform({virtualDisk});
  StorageDevice record(platform);
  ASSERT_TRUE(record.OpenByNumber(0));
  EXPECT_EQ((record.Flags() & StorageDevice::kFlagAta) != 0, c.transport == Transport::kSata);
  EXPECT_EQ((record.Flags() & StorageDevice::kFlagNvme) != 0, c.transport == Transport::kNvme);
  VE4810VO controller;
  controller.SetVariantSignature(true);
  ASSERT_TRUE(record.Open(true));
  EXPECT_EQ(controller.AttachDevice(record), c.detected);
  if (!c.detected) return;
  EXPECT_EQ(controller.CommandAddress, c.commandAddress);
  // A drive that stores the command block as data passes the probe (the data
  // read succeeds) but answers nothing: the tool reads back its own block.
  if (c.intercept == CommandIntercept::kNone) return;
  std::vector<uint8_t> buffer(16896);
  EXPECT_EQ(controller.ReadIdentify(buffer), 0);
  EXPECT_EQ(buffer[0], 0x40);
  EXPECT_EQ(controller.ReadSmart(0xD0, buffer), 0);
  EXPECT_EQ(controller.ReadEraseCount(33, buffer), 0);
  EXPECT_EQ(buffer[16384] | (buffer[16385] << 8), 2048);
  EXPECT_EQ(controller.ReadMarkBadInfo(16, buffer), -7) << "no diagnostic program loaded";
}

INSTANTIATE_TEST_SUITE_P(
    Drives, ThroughPlatformTest,
    ::testing::Values(
        ProbeCase{"Sata", DriveKind::kController, Transport::kSata, CommandIntercept::kAtMainAddress, "VE4810VO", true, 0x55AA},
        ProbeCase{"Scsi", DriveKind::kController, Transport::kScsi, CommandIntercept::kAtMainAddress, "VE4810VO", true, 0x55AA},
        ProbeCase{"Nvme", DriveKind::kController, Transport::kNvme, CommandIntercept::kAtMainAddress, "VE4810VO", true, 0x55AA},
        ProbeCase{"Fallback", DriveKind::kController, Transport::kSata, CommandIntercept::kAtFallbackAddress, "VE4810VO", true, 0x0789},
        ProbeCase{"VariantSignature", DriveKind::kController, Transport::kScsi, CommandIntercept::kAtMainAddress, "VE4810VI", true, 0x55AA},
        ProbeCase{"OtherSignature", DriveKind::kController, Transport::kSata, CommandIntercept::kAtMainAddress, "ZA4808ZB", false, 0},
        ProbeCase{"NoInterception", DriveKind::kController, Transport::kSata, CommandIntercept::kNone, "VE4810VO", true, 0x55AA},
        ProbeCase{"Optical", DriveKind::kOptical, Transport::kScsi, CommandIntercept::kAtMainAddress, "VE4810VO", false, 0},
        ProbeCase{"PlainDisk", DriveKind::kPlainDisk, Transport::kSata, CommandIntercept::kAtMainAddress, "VE4810VO", false, 0}),
    [](const ::testing::TestParamInfo<ProbeCase>& info) { return std::string(info.param.name); });

TEST(ThroughPlatformCodeLoadingTest, DiagnosticLoadOpensTheMarkBadRead) {
  auto drive = std::make_shared<SimulatedDrive>(DriveConfig{});
  VirtualPlatform platform({VirtualDisk{"ssd", drive, {}}});
  StorageDevice record(platform);
  ASSERT_TRUE(record.OpenByNumber(0));
  VE4810VO controller;
  ASSERT_TRUE(controller.AttachDevice(record));
  const auto file = BuildDiagnosticFile(DiagnosticKind::kReadBadInfo, drive->model().identity.ispVersion, false);
  EXPECT_EQ(controller.LoadDiagnosticCode(kBareDiagnosticAddress, 6, file), 0);
  std::vector<uint8_t> buffer(8192);
  EXPECT_EQ(controller.ReadMarkBadInfo(16, buffer), 0);
  EXPECT_GE(buffer[0], 4);
}

TEST(ThroughPlatformCodeLoadingTest, MpispDownloadAndJumpThroughTheController) {
  DriveConfig config;
  config.cardMode = 0;
  auto drive = std::make_shared<SimulatedDrive>(config);
  VirtualPlatform platform({VirtualDisk{"rom", drive, {}}});
  StorageDevice record(platform);
  ASSERT_TRUE(record.OpenByNumber(0));
  VE4810VO controller;
  ASSERT_TRUE(controller.AttachDevice(record));
  const auto file = BuildMpispFile(drive->model().identity.ispVersion, 65536 + 1);
  std::vector<uint8_t> image(2 * 65536, 0);
  std::copy(file.begin() + 1024, file.end(), image.begin());
  ASSERT_EQ(controller.DownloadCode(kMpispLoadAddress, 128, std::span<const uint8_t>(image.data(), 65536)), 0);
  ASSERT_EQ(controller.DownloadCode(kMpispLoadAddress + 65536, 1, std::span<const uint8_t>(image.data() + 65536, 512)), 0);
  ASSERT_EQ(controller.JumpToCode(kMpispLoadAddress, 1, std::span<const uint8_t>(image.data(), 512)), 0);
  std::vector<uint8_t> card(2048);
  ASSERT_EQ(controller.ReadFlashId(4, card), 0);
  EXPECT_EQ(card[10], 1);
}

}  // namespace
}  // namespace dozered::sim
