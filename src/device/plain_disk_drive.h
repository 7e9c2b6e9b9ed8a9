// A plain disk for the Virtual platform: an image of 512-byte sectors kept
// in memory (sparse; unwritten sectors read as zeros) or in a file. It
// answers SCSI TEST UNIT READY, INQUIRY, READ CAPACITY(10), READ(10) and
// WRITE(10) and, when configured, ATA IDENTIFY DEVICE, READ DMA and WRITE
// DMA. It carries no controller.
#pragma once

#include <array>
#include <cstdint>
#include <fstream>
#include <set>
#include <string>
#include <unordered_map>

#include "device/virtual_drive.h"

namespace dozered {

struct PlainDiskOptions {
  uint32_t sectorCount = 65536;  // ignored for an existing, non-empty image file
  bool answersAta = false;
  uint8_t deviceType = 0;        // peripheral device type: 0 disk, 5 optical
  bool removable = false;
  std::string vendor = "DOZERED";
  std::string product = "PLAIN DISK";
  std::string revision = "1.0";
  std::string serial = "PD0001";
  std::string imagePath;         // empty: in memory
  std::set<uint32_t> failingSectors;  // reads and writes touching these fail (medium error)
};

class PlainDiskDrive : public VirtualDrive {
 public:
  explicit PlainDiskDrive(PlainDiskOptions options = {});

  // False when a file-backed image could not be opened or created.
  bool IsUsable() const { return usable_; }
  uint32_t SectorCount() const { return sectorCount_; }
  PlainDiskOptions& Options() { return options_; }

  // Direct access to the image, for tests.
  bool ReadSector(uint32_t lba, uint8_t* sector);
  bool WriteSector(uint32_t lba, const uint8_t* sector);

  bool ExecuteScsi(ScsiCommand& command, ScsiOutcome& outcome) override;
  bool ExecuteAta(AtaCommand& command) override;
  bool ExecuteNvmeAdmin(NvmeAdminCommand& command) override;

 private:
  bool Transfer(uint32_t lba, uint32_t count, uint8_t* data, bool write);
  bool TouchesFailingSector(uint32_t lba, uint32_t count) const;
  void FillIdentify(uint8_t* data) const;

  PlainDiskOptions options_;
  uint32_t sectorCount_ = 0;
  bool usable_ = true;
  std::fstream file_;
  std::unordered_map<uint32_t, std::array<uint8_t, 512>> sectors_;
};

}  // namespace dozered
