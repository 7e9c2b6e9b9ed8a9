#include "sim/user_data_store.h"

#include <cstring>

namespace dozered::sim {

void UserDataStore::Read(uint64_t lba, uint32_t count, uint8_t* buffer) const {
  for (uint32_t i = 0; i < count; ++i) {
    const auto it = sectors_.find(lba + i);
    if (it == sectors_.end()) {
      std::memset(buffer + 512 * static_cast<size_t>(i), 0, 512);
    } else {
      std::memcpy(buffer + 512 * static_cast<size_t>(i), it->second.data(), 512);
    }
  }
}

void UserDataStore::Write(uint64_t lba, uint32_t count, const uint8_t* buffer) {
  for (uint32_t i = 0; i < count; ++i) {
    std::memcpy(sectors_[lba + i].data(), buffer + 512 * static_cast<size_t>(i), 512);
  }
}

}  // namespace dozered::sim
