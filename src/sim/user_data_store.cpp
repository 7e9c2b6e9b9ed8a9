#include "sim/user_data_store.h"

#include <cstring>

#include "sim/drive_model.h"

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

HostData::HostData(DriveModel& model) : model_(model), flash_(model.config.kind != DriveKind::kPlainDisk) {}

bool HostData::Write(uint64_t lba, uint32_t count, const uint8_t* data) {
  bool stored = true;
  if (flash_) {
    stored = model_.ftl.Write(lba, count, data);
  } else {
    plain_.Write(lba, count, data);
  }
  if (stored) model_.counters.hostSectorsWritten += count;
  return stored;
}

void HostData::Read(uint64_t lba, uint32_t count, uint8_t* out) {
  if (flash_) {
    model_.ftl.Read(lba, count, out);
  } else {
    plain_.Read(lba, count, out);
  }
  model_.counters.hostSectorsRead += count;
}

bool HostData::Flush() { return flash_ && model_.ftl.Flush(); }

}  // namespace dozered::sim
