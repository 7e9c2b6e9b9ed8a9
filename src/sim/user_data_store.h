// The user data of a drive's ordinary LBAs, kept only for sectors that were
// written; every other sector reads as zeros.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <unordered_map>

namespace dozered::sim {

class UserDataStore {
 public:
  void Read(uint64_t lba, uint32_t count, uint8_t* buffer) const;
  void Write(uint64_t lba, uint32_t count, const uint8_t* buffer);
  size_t StoredSectors() const { return sectors_.size(); }

 private:
  std::unordered_map<uint64_t, std::array<uint8_t, 512>> sectors_;
};

}  // namespace dozered::sim
