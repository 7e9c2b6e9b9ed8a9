#include "device/aspi_lib.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "device/plain_disk_drive.h"
#include "device/virtual_platform.h"

namespace dozered {
namespace {

// What one enumerated record shows: name and address.
struct Row {
  std::string name;
  int port;
  int target;
  bool operator==(const Row& other) const {
    return name == other.name && port == other.port && target == other.target;
  }
};

std::ostream& operator<<(std::ostream& out, const Row& row) {
  return out << row.name << " (" << row.port << ", " << row.target << ")";
}

struct DiskSetup {
  std::vector<char> letters;
  int port = -1;  // -1: no SCSI address
  int target = 0;
  int32_t number = -1;
  bool openFails = false;
};

VirtualPlatform MakePlatform(const std::vector<DiskSetup>& disks) {
  VirtualPlatform platform;
  auto drive = std::make_shared<PlainDiskDrive>();
  for (const DiskSetup& setup : disks) {
    VirtualDisk virtualDisk;
    virtualDisk.drive = drive;
    virtualDisk.options.volumeLetters = setup.letters;
    virtualDisk.options.hasScsiAddress = setup.port >= 0;
    virtualDisk.options.port = setup.port;
    virtualDisk.options.target = setup.target;
    virtualDisk.options.diskNumber = setup.number;
    virtualDisk.options.openFails = setup.openFails;
    platform.AddDisk(virtualDisk);
  }
  return platform;
}

std::vector<Row> Scan(AspiLib& aspi) {
  aspi.ResetAll();
  aspi.ScanDevices();
  std::vector<Row> rows;
  for (int i = 0; i < aspi.DeviceCountFound(); ++i) {
    const StorageDevice& record = aspi.Record(i);
    rows.push_back({record.Name(), record.Port(), record.Target()});
  }
  return rows;
}

struct ScanCase {
  const char* name;
  std::vector<DiskSetup> disks;
  std::vector<Row> rows;
};

TEST(AspiLibTest, ScanBuildsTheTableInVolumeThenDiskOrder) {
  const ScanCase cases[] = {
      {"two volumes on disk 0 and a bare disk 1", {{{'c', 'd'}, 0, 0}, {{}, 0, 1}},
       {{"c:", 0, 0}, {"d:", 0, 0}, {"PHYSICALDRIVE1", 0, 1}}},
      {"no volumes and two disks", {{{}, 1, 0}, {{}, 1, 1}}, {{"PHYSICALDRIVE0", 1, 0}, {"PHYSICALDRIVE1", 1, 1}}},
      {"volumes in letter order whatever the disk order", {{{'f'}, 0, 0}, {{'c'}, 0, 1}},
       {{"c:", 0, 1}, {"f:", 0, 0}}},
      {"unknown ports get highest + 1 and targets in table order",
       {{{'c'}, -1}, {{}, 2, 0}, {{'e'}, -1}, {{}, -1}, {{}, 1, 3}},
       {{"c:", 3, 0}, {"e:", 3, 1}, {"PHYSICALDRIVE1", 2, 0}, {"PHYSICALDRIVE3", 3, 2}, {"PHYSICALDRIVE4", 1, 3}}},
      {"no port known at all", {{{}, -1}, {{}, -1}}, {{"PHYSICALDRIVE0", 1, 0}, {"PHYSICALDRIVE1", 1, 1}}},
      {"disk numbers with gaps miss the highest disks", {{{}, 0, 0, 0}, {{}, 0, 2, 2}, {{}, 0, 5, 5}},
       {{"PHYSICALDRIVE0", 0, 0}, {"PHYSICALDRIVE2", 0, 2}}},
      {"a disk that cannot be opened is skipped", {{{}, 0, 0, -1, true}, {{}, 0, 1}},
       {{"PHYSICALDRIVE1", 0, 1}}},
  };
  for (const ScanCase& c : cases) {
    SCOPED_TRACE(c.name);
    VirtualPlatform platform = MakePlatform(c.disks);
    AspiLib aspi(platform);
    EXPECT_EQ(Scan(aspi), c.rows);
    EXPECT_EQ(platform.OpenHandleCount(), 0);
  }
}

TEST(AspiLibTest, TableHoldsAtMost32Records) {
  std::vector<DiskSetup> disks(40);
  for (int i = 0; i < 40; ++i) disks[static_cast<size_t>(i)] = {{}, 0, i};
  for (int k = 0; k < 24; ++k) disks[static_cast<size_t>(k)].letters = {static_cast<char>('c' + k)};
  VirtualPlatform platform = MakePlatform(disks);
  AspiLib aspi(platform);
  const std::vector<Row> rows = Scan(aspi);
  ASSERT_EQ(rows.size(), 32u);
  EXPECT_EQ(rows[0], (Row{"c:", 0, 0}));
  EXPECT_EQ(rows[23], (Row{"z:", 0, 23}));
  EXPECT_EQ(rows[24], (Row{"PHYSICALDRIVE24", 0, 24}));
  EXPECT_EQ(rows[31], (Row{"PHYSICALDRIVE31", 0, 31}));
}

TEST(AspiLibTest, DisksFrom32OnCannotBeCoveredByTheirVolumes) {
  std::vector<DiskSetup> disks(34);
  for (int i = 0; i < 34; ++i) disks[static_cast<size_t>(i)] = {{}, 0, i, -1, i < 30};
  disks[33].letters = {'c'};
  VirtualPlatform platform = MakePlatform(disks);
  AspiLib aspi(platform);
  EXPECT_EQ(Scan(aspi), (std::vector<Row>{{"c:", 0, 33},
                                          {"PHYSICALDRIVE30", 0, 30},
                                          {"PHYSICALDRIVE31", 0, 31},
                                          {"PHYSICALDRIVE32", 0, 32},
                                          {"PHYSICALDRIVE33", 0, 33}}));
}

TEST(AspiLibTest, UnidentifiedTargetsLeaveNoGapInTheTable) {
  VirtualPlatform platform = MakePlatform({{{'e'}, 0, 0}, {{}, 0, 1}});
  platform.Options().lettersWithoutDisk = {'c', 'd'};
  platform.Disk(1).options.diskNumberFails = true;  // the interface count drops to 1
  AspiLib aspi(platform);
  EXPECT_EQ(Scan(aspi), (std::vector<Row>{{"e:", 0, 0}}));
}

TEST(AspiLibTest, ResetAllFreesRecordsAndFailedListingKeepsTheCount) {
  VirtualPlatform platform = MakePlatform({{{'c'}, 0, 0}, {{}, 0, 1}});
  AspiLib aspi(platform);
  ASSERT_EQ(Scan(aspi).size(), 2u);
  EXPECT_EQ(Scan(aspi).size(), 2u) << "a rescan rebuilds the same table";

  aspi.ResetAll();
  EXPECT_EQ(aspi.DeviceCountFound(), 2);
  EXPECT_FALSE(aspi.Record(0).IsPresent());
  EXPECT_FALSE(aspi.Record(1).IsPresent());

  platform.Options().listDisksFails = true;
  aspi.ScanDevices();
  EXPECT_EQ(aspi.DeviceCountFound(), 2);
  uint8_t sector[512];
  EXPECT_FALSE(aspi.Record(0).ReadSectors(0, 1, sector));
  EXPECT_FALSE(aspi.Record(1).ReadSectors(0, 1, sector));

  platform.Options().listDisksFails = false;
  platform.Options().privilegeFails = true;
  EXPECT_EQ(Scan(aspi).size(), 2u) << "the privilege is asked for, not required";
}

}  // namespace
}  // namespace dozered
