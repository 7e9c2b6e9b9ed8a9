// The controller's watch over the host's sector accesses. Five one-sector
// reads in order (0xAA, 0xAA00, 0x55, 0x5500, 0x55AA) arm it, and the last
// of them returns the signature at offset 46. A command block then written at
// the command address is handed to the firmware and not stored; the data
// phase follows (data-in read at 0x55AA, data-out written at the command
// address), and the check read at the command address returns the user data
// stored there and ends the command. A read of 0x1234 leaves the vendor mode;
// any other access out of order disarms it and is served as ordinary data.
#pragma once

#include <cstdint>
#include <string>

#include "sim/drive_config.h"
#include "sim/firmware.h"

namespace dozered::sim {

inline constexpr uint32_t kUnlockLbas[5] = {0xAA, 0xAA00, 0x55, 0x5500, 0x55AA};
inline constexpr uint32_t kMainCommandAddress = 0x55AA;
inline constexpr uint32_t kFallbackCommandAddress = 0x0789;
inline constexpr uint32_t kLeaveLba = 0x1234;
inline constexpr int kSignatureOffset = 46;

class VendorProtocol {
 public:
  enum class Outcome {
    kOrdinary,  // serve the access as user data
    kServed,    // the protocol answered (read buffer filled, or write consumed)
    kFailed,    // fail the access (CHECK CONDITION)
  };

  VendorProtocol(const DriveConfig& config, Firmware& firmware);

  Outcome OnRead(uint64_t lba, uint32_t count, uint8_t* buffer);
  Outcome OnWrite(uint64_t lba, uint32_t count, const uint8_t* buffer);

  // A short description of what the last access meant to the protocol, for the trace.
  const std::string& lastNote() const { return note_; }
  bool armed() const { return state_ == State::kArmed; }
  // A command was taken and its data phase or check read is still to come.
  bool inCommand() const { return state_ != State::kIdle && state_ != State::kUnlocking && state_ != State::kArmed; }

 private:
  enum class State {
    kIdle,
    kUnlocking,
    kArmed,
    kCommand,     // command taken, data phase expected
    kRefused,     // command not taken: its data phase fails
    kDataIn,
    kDataOut,
    kAwaitCheck,  // data phase failed; the check read ends the command
  };

  bool TakesCommandAt(uint64_t lba) const;
  void Disarm();
  Outcome ReadFromIdle(uint64_t lba, uint32_t count, uint8_t* buffer);

  std::string signature_;
  CommandIntercept intercept_;
  Firmware& firmware_;
  State state_ = State::kIdle;
  int unlockStep_ = 0;
  uint64_t commandAddress_ = kMainCommandAddress;
  uint32_t sectorsDone_ = 0;
  std::string note_;
};

}  // namespace dozered::sim
