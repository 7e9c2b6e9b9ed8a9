// What the host reads and writes in ordinary sectors. On a controller drive
// it goes through the translation layer onto the flash; a plain disk (no
// controller, no flash to look at) keeps only the sectors written. Either way
// an unwritten sector reads as zeros, and the drive counts the traffic.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <unordered_map>

namespace dozered::sim {

class DriveModel;

class UserDataStore {
 public:
  void Read(uint64_t lba, uint32_t count, uint8_t* buffer) const;
  void Write(uint64_t lba, uint32_t count, const uint8_t* buffer);
  size_t StoredSectors() const { return sectors_.size(); }

 private:
  std::unordered_map<uint64_t, std::array<uint8_t, 512>> sectors_;
};

class HostData {
 public:
  explicit HostData(DriveModel& model);

  // False when the drive could not store the write (its flash is full of
  // worn-out blocks).
  bool Write(uint64_t lba, uint32_t count, const uint8_t* data);
  void Read(uint64_t lba, uint32_t count, uint8_t* out);
  // Writes what waits in the controller's RAM to the flash.
  bool Flush();
  size_t StoredPlainSectors() const { return plain_.StoredSectors(); }

 private:
  DriveModel& model_;
  bool flash_;  // false: a plain disk
  UserDataStore plain_;
};

}  // namespace dozered::sim
