// The controller firmware of a simulated drive: the code mode it runs, the
// command dispatcher for the vendor command set, and the code it has been
// given (a downloaded MPISP image, a loaded diagnostic program).
//
// Mode 0 (ROM code) takes the identification reads and the code download;
// mode 1 (MPISP code) also the flash access, the bad-block reads and the
// error log; mode 2 (normal firmware) the information reads and the flash
// access, and the flash-level diagnostics only after the matching diagnostic
// program has been loaded.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/code_images.h"
#include "sim/drive_model.h"

namespace dozered::sim {

namespace opcode {
inline constexpr uint8_t kReadIspInfo = 0x04;
inline constexpr uint8_t kReadFlash = 0x0A;
inline constexpr uint8_t kWriteFlash = 0x0B;
inline constexpr uint8_t kEraseFlash = 0x0C;
inline constexpr uint8_t kReadFlashId = 0x20;
inline constexpr uint8_t kDownloadCode = 0x27;
inline constexpr uint8_t kJumpToCode = 0x28;
inline constexpr uint8_t kLoadDiagnosticCode = 0x2B;
inline constexpr uint8_t kEnterRomCodeMode = 0x2C;
inline constexpr uint8_t kReadSmart = 0x3E;
inline constexpr uint8_t kReadIdentify = 0x3F;
inline constexpr uint8_t kTranslateLba = 0x41;
inline constexpr uint8_t kReadEraseCount = 0x42;
inline constexpr uint8_t kReadMarkBadInfo = 0x43;
inline constexpr uint8_t kReadBadBlockInfo = 0x44;
inline constexpr uint8_t kReadFlashDistribution = 0x45;
inline constexpr uint8_t kReadChunkEcc = 0x46;
inline constexpr uint8_t kReadCid = 0x47;
inline constexpr uint8_t kReadErrorLog = 0xA7;
inline constexpr uint8_t kSetFlashClock = 0xB1;
}  // namespace opcode

// Receives the changes that must survive a restart.
class StateSink {
 public:
  virtual ~StateSink() = default;
  virtual void OnFlashProgram(int blockIndex, int page, uint32_t offset, const uint8_t* data, uint32_t length) = 0;
  virtual void OnFlashErase(int blockIndex) = 0;
  virtual void OnModeChange(int mode) = 0;
};

class Firmware {
 public:
  explicit Firmware(DriveModel& model) : model_(model) {}

  void SetStateSink(StateSink* sink) { sink_ = sink; }
  int mode() const { return model_.cardMode; }
  DiagnosticKind loadedDiagnostic() const { return diagnostic_; }
  DriveModel& model() { return model_; }

  // Takes a command block. False when the current mode does not take the
  // command (or the block is malformed): its data phase then fails.
  bool BeginCommand(const uint8_t* block);
  bool CommandTakesDataOut() const;
  uint8_t CommandOpcode() const { return block_[1]; }
  // The data phase, in one or more parts at increasing byte offsets.
  bool DataIn(uint32_t offset, uint8_t* buffer, uint32_t length);
  bool DataOut(uint32_t offset, const uint8_t* buffer, uint32_t length);
  void EndCommand();

  // Replays persisted changes. A program is journaled as the bytes stored: a
  // record at offset kSpareRecordOffset holds the spare area of the program
  // that follows it, a record at offset 0 starts the program of a page, later
  // offsets add to it.
  static constexpr uint32_t kSpareRecordOffset = 0xFFFFFFFFu;
  void RestoreProgram(int blockIndex, int page, uint32_t offset, const uint8_t* data, uint32_t length);
  void RestoreErase(int blockIndex);
  void RestoreMode(int mode) { model_.cardMode = mode; }

 private:
  bool Allowed(uint8_t op) const;
  std::vector<uint8_t> BuildReply(uint32_t length);
  bool Erase(const FlashCommandAddress& address);
  bool WriteFlashData(uint32_t offset, const uint8_t* buffer, uint32_t length);
  // Starts or continues the program of one page; false when the flash refuses it.
  bool ProgramPage(const PhysicalPage& page, bool scramble, uint32_t offset, const uint8_t* data, uint32_t length);
  void SetMode(int mode);

  DriveModel& model_;
  StateSink* sink_ = nullptr;
  uint8_t block_[512] = {};
  bool active_ = false;
  std::vector<uint8_t> reply_;
  bool replyFailed_ = false;  // the reply could not be built: the data phase fails
  DiagnosticKind diagnostic_ = DiagnosticKind::kNone;
  std::vector<uint8_t> diagnosticPayload_;
  uint32_t downloadBase_ = 0;
  std::vector<uint8_t> download_;
  std::vector<uint8_t> restoredSpare_;  // spare record waiting for the program it belongs to
  int restoredSpareBlock_ = -1;
  int restoredSparePage_ = -1;
};

}  // namespace dozered::sim
