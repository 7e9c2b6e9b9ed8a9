#include "sim/vendor_protocol.h"

#include <cstdio>
#include <cstring>

namespace dozered::sim {

VendorProtocol::VendorProtocol(const DriveConfig& config, Firmware& firmware)
    : signature_(config.signature), intercept_(config.intercept), firmware_(firmware) {
  signature_.resize(8, ' ');
}

bool VendorProtocol::TakesCommandAt(uint64_t lba) const {
  switch (intercept_) {
    case CommandIntercept::kAtMainAddress: return lba == kMainCommandAddress;
    case CommandIntercept::kAtFallbackAddress: return lba == kFallbackCommandAddress;
    case CommandIntercept::kNone: return false;
  }
  return false;
}

void VendorProtocol::Disarm() {
  if (state_ != State::kIdle && state_ != State::kUnlocking && state_ != State::kArmed) {
    firmware_.EndCommand();
  }
  state_ = State::kIdle;
  unlockStep_ = 0;
  sectorsDone_ = 0;
}

VendorProtocol::Outcome VendorProtocol::ReadFromIdle(uint64_t lba, uint32_t count, uint8_t* buffer) {
  if (count == 1 && lba == kUnlockLbas[unlockStep_]) {
    ++unlockStep_;
    if (unlockStep_ == 5) {
      state_ = State::kArmed;
      unlockStep_ = 0;
      std::memset(buffer, 0, 512);
      std::memcpy(buffer + kSignatureOffset, signature_.data(), 8);
      note_ = "unlock 5, signature";
      return Outcome::kServed;
    }
    state_ = State::kUnlocking;
    note_ = "unlock " + std::to_string(unlockStep_);
    return Outcome::kOrdinary;
  }
  // Out of order: start again; the read may itself be the first unlock read.
  Disarm();
  if (count == 1 && lba == kUnlockLbas[0]) {
    unlockStep_ = 1;
    state_ = State::kUnlocking;
    note_ = "unlock 1";
  }
  return Outcome::kOrdinary;
}

VendorProtocol::Outcome VendorProtocol::OnRead(uint64_t lba, uint32_t count, uint8_t* buffer) {
  note_.clear();
  if (lba == kLeaveLba) {
    Disarm();
    note_ = "leave";
    return Outcome::kOrdinary;
  }
  const uint32_t bytes = count * 512;
  const bool dataIn = !firmware_.CommandTakesDataOut();
  switch (state_) {
    case State::kIdle:
    case State::kUnlocking:
      return ReadFromIdle(lba, count, buffer);
    case State::kArmed:
      break;
    case State::kCommand:
    case State::kRefused:
      if (dataIn && lba == kMainCommandAddress) {
        note_ = "data in";
        if (state_ == State::kRefused || !firmware_.DataIn(0, buffer, bytes)) {
          state_ = State::kAwaitCheck;
          note_ += " failed";
          return Outcome::kFailed;
        }
        state_ = State::kDataIn;
        sectorsDone_ = count;
        return Outcome::kServed;
      }
      if (lba == commandAddress_) {  // check read without a data phase
        Disarm();
        note_ = "check";
        return Outcome::kOrdinary;
      }
      break;
    case State::kDataIn:
      if (lba == kMainCommandAddress + sectorsDone_) {
        const uint32_t offset = sectorsDone_ * 512;
        sectorsDone_ += count;
        note_ = "data in";
        if (firmware_.DataIn(offset, buffer, bytes)) return Outcome::kServed;
        state_ = State::kAwaitCheck;
        return Outcome::kFailed;
      }
      [[fallthrough]];
    case State::kDataOut:
    case State::kAwaitCheck:
      if (lba == commandAddress_) {
        Disarm();
        note_ = "check";
        return Outcome::kOrdinary;
      }
      break;
  }
  Disarm();
  return ReadFromIdle(lba, count, buffer);
}

VendorProtocol::Outcome VendorProtocol::OnWrite(uint64_t lba, uint32_t count, const uint8_t* buffer) {
  note_.clear();
  const uint32_t bytes = count * 512;
  switch (state_) {
    case State::kArmed: {
      const bool commandBlock = count >= 1 && (buffer[0] == 0xF0 || buffer[0] == 0xF1);
      if (commandBlock && TakesCommandAt(lba)) {
        commandAddress_ = lba;
        char text[32];
        std::snprintf(text, sizeof text, "command 0x%02X", buffer[1]);
        note_ = text;
        if (firmware_.BeginCommand(buffer)) {
          state_ = State::kCommand;
        } else {
          state_ = State::kRefused;
          note_ += " refused";
        }
        return Outcome::kServed;
      }
      if (commandBlock && intercept_ == CommandIntercept::kAtFallbackAddress && lba == kMainCommandAddress) {
        // This controller guards 0x55AA while armed and takes commands only at 0x0789.
        Disarm();
        note_ = "command address refused";
        return Outcome::kFailed;
      }
      Disarm();
      return Outcome::kOrdinary;
    }
    case State::kCommand:
    case State::kRefused:
      if (firmware_.CommandTakesDataOut() && lba == commandAddress_) {
        note_ = "data out";
        if (state_ == State::kRefused || !firmware_.DataOut(0, buffer, bytes)) {
          state_ = State::kAwaitCheck;
          note_ += " failed";
          return Outcome::kFailed;
        }
        state_ = State::kDataOut;
        sectorsDone_ = count;
        return Outcome::kServed;
      }
      break;
    case State::kDataOut:
      if (lba == commandAddress_ + sectorsDone_) {
        const uint32_t offset = sectorsDone_ * 512;
        sectorsDone_ += count;
        note_ = "data out";
        if (firmware_.DataOut(offset, buffer, bytes)) return Outcome::kServed;
        state_ = State::kAwaitCheck;
        return Outcome::kFailed;
      }
      break;
    default:
      break;
  }
  Disarm();
  return Outcome::kOrdinary;
}

}  // namespace dozered::sim
