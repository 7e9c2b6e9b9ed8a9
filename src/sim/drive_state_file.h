// The state a simulated drive keeps across restarts: a journal of the user
// sectors written, the flash pages programmed, the blocks erased and the code
// mode entered, replayed in order when the drive starts. The file begins with
// a fingerprint of the drive's seed and geometry; a file made for another
// drive is started afresh.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "sim/firmware.h"
#include "sim/user_data_store.h"

namespace dozered::sim {

class DriveStateFile final : public StateSink {
 public:
  DriveStateFile(const std::string& path, uint64_t fingerprint);
  ~DriveStateFile() override;
  DriveStateFile(const DriveStateFile&) = delete;
  DriveStateFile& operator=(const DriveStateFile&) = delete;

  // Applies the saved state, then opens the file for appending. Returns the
  // number of records replayed.
  size_t Restore(Firmware& firmware, UserDataStore& userData);

  void OnUserWrite(uint64_t lba, uint32_t count, const uint8_t* data);
  void OnFlashProgram(int blockIndex, int page, uint32_t offset, const uint8_t* data, uint32_t length) override;
  void OnFlashErase(int blockIndex) override;
  void OnModeChange(int mode) override;

  static uint64_t Fingerprint(const DriveConfig& config);

 private:
  void Append(const void* data, size_t length);
  void Flush();

  std::string path_;
  uint64_t fingerprint_;
  std::FILE* file_ = nullptr;
};

}  // namespace dozered::sim
