// Everything that makes one simulated drive what it is: the kind of device,
// how it is attached, its identity, its flash geometry, its seed, the protocol
// variant it runs, the faults it shows and where it keeps its state.
#pragma once

#include <cstdint>
#include <string>

namespace dozered::sim {

enum class DriveKind {
  kController,  // a drive built on the VE4810VO controller
  kPlainDisk,   // an ordinary disk without the controller
  kOptical,     // a controller drive that reports itself as an optical device
};

enum class Transport {
  kScsi,  // SCSI commands only (USB bridge, SAS)
  kSata,  // also answers ATA IDENTIFY / READ DMA / WRITE DMA
  kNvme,  // also answers NVMe Identify Controller
};

enum class CommandIntercept {
  kAtMainAddress,      // command blocks at 0x55AA
  kAtFallbackAddress,  // command blocks only at 0x0789; 0x55AA refuses them
  kNone,               // the command block is stored as ordinary data
};

struct FlashGeometry {
  int channels = 4;
  int ces = 4;               // chip enables per channel
  int interleaveWays = 2;    // CEs in one CE group
  int planes = 2;
  int blocksPerCe = 1024;    // F-blocks per CE group
  int pagesPerBlock = 256;
  int pageSizeKiB = 16;
  int spareBytes = 512;      // the one spare sector the tool sees

  int CeGroups() const { return interleaveWays > 0 ? ces / interleaveWays : 0; }
  int TotalFBlocks() const { return blocksPerCe * CeGroups(); }
  int SectorsPerPage() const { return pageSizeKiB * 2; }
  int PageBytes() const { return pageSizeKiB * 1024; }
};

struct FaultPlan {
  uint64_t failNthAccess = 0;     // 1-based: this one sector access fails; 0 = off
  int64_t failLba = -1;           // every access touching this LBA fails; -1 = off
  bool failWrites = false;        // every sector write fails
  uint64_t failAfterAccess = 0;   // every request after this many sector accesses fails, as if unplugged; 0 = off
};

struct DriveConfig {
  std::string label = "VE4810VO";
  DriveKind kind = DriveKind::kController;
  Transport transport = Transport::kSata;
  uint64_t seed = 1;
  int cardMode = 2;                         // 0 ROM code, 1 MPISP code, 2 normal firmware
  std::string signature = "VE4810VO";       // 8 characters at offset 46 of the unlock reply
  CommandIntercept intercept = CommandIntercept::kAtMainAddress;

  // Identity. Empty texts are generated from the seed.
  std::string vendor;        // INQUIRY vendor (8)
  std::string product;       // INQUIRY product (16)
  std::string revision;      // INQUIRY revision (4)
  std::string model;         // ATA model number (40)
  std::string serial;        // ATA serial number (20)
  std::string firmware;      // ATA firmware revision (8)
  std::string ispFolder = "V126";  // first 12 bytes of the ISP version
  std::string ispTag = "VE01";     // last 4 bytes of the ISP version ("SNDK" selects revision subfolders)

  FlashGeometry geometry;
  uint8_t flashMaker = 0;        // 0: chosen from the seed
  int temperature = 38;          // degrees
  int averageEraseCount = 850;   // pre-aged wear of the demo drive
  int ratedCycles = 3000;        // erase cycles the flash is rated for
  int powerOnHours = 0;          // 0: derived from the wear
  int dataAgeHours = 0;          // hours since the data the drive arrived with was written (retention age)
  uint32_t capacityOverride = 0; // sectors; 0: derived from the geometry

  FaultPlan faults;
  std::string stateFile;  // empty: nothing persists
  std::string traceFile;  // empty: no trace
};

}  // namespace dozered::sim
