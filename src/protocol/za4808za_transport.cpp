// The vendor-command transport: unlock, command write, data phase and the
// restore of the sector at the command address when the drive stored the
// command as data.
//
// Data safety: the sector(s) at the command address are read before anything
// is sent. If that read fails the command is not sent at all
// (kResultSaveReadFailed): without a good copy nothing could be put back. A
// data-out exchange saves every sector its data phase may overwrite, so a
// drive that takes the whole exchange as data gets all of them back. The
// check runs after every command write, also a failed one (after the leave
// read), since a write whose status was lost may have stored the block.
//
// Nothing is written to the command address while the drive may still wait
// for the command's data: it would take the write as data (a page
// programmed with the user's sector). So when the check read fails, the
// drive leaves the vendor mode first (read of 0x1234) and the command address
// is read again; when that fails too, nothing is written and the exchange
// reports kResultCommandAddressUnknown. The restore runs only when the
// sector read back holds the command block or this command's data (for data
// out, the first data sector), writes only what was read from those sectors
// before the exchange, and is tried again when the write fails; a restore
// that keeps failing is kResultRestoreFailed. Both outrank the command's own
// result: the user must learn that a sector of theirs may hold vendor data.
#include <algorithm>
#include <cstring>
#include <vector>

#include "device/storage_device.h"
#include "protocol/result_codes.h"
#include "protocol/za4808za.h"

namespace dozered {
namespace {

// A failed restore is tried again: a sector the drive holds as the command
// block is user data lost otherwise.
constexpr int kRestoreAttempts = 3;

constexpr int32_t kUnlockCodes[5] = {kResultUnlockReadAAFailed, kResultUnlockReadAA00Failed,
                                     kResultUnlockRead55Failed, kResultUnlockRead5500Failed,
                                     kResultUnlockRead55AAFailed};

bool SameSector(const uint8_t* a, const uint8_t* b) {
  return std::memcmp(a, b, kSectorBytes) == 0;
}

// Opens the record for one exchange unless the caller holds it open, and
// closes it again only if it opened it.
class ExchangeOpen {
 public:
  ExchangeOpen(StorageDevice* device, bool tolerateLockFailure) : device_(device) {
    if (device_ == nullptr) return;
    if (device_->IsOpen()) {
      ok_ = true;
    } else {
      ok_ = device_->Open(tolerateLockFailure);
      opened_ = ok_;
    }
  }
  ~ExchangeOpen() {
    if (opened_) device_->Close();
  }
  ExchangeOpen(const ExchangeOpen&) = delete;
  ExchangeOpen& operator=(const ExchangeOpen&) = delete;
  bool ok() const { return ok_; }

 private:
  StorageDevice* device_;
  bool ok_ = false;
  bool opened_ = false;
};

// The data buffer of an exchange: none when it has no storage, otherwise it
// must hold every sector the byte count rounds up to.
bool BufferFits(std::size_t bufferSize, bool given, uint32_t byteCount) {
  if (!given) return true;
  return bufferSize >= static_cast<uint64_t>(SectorsForBytes(byteCount)) * kSectorBytes;
}

}  // namespace

ZA4808ZA::ZA4808ZA() {
  SignatureOffset = 46;
  SignatureLength = kSignatureSize;
  const char id[] = "ZA4808ZA";
  for (int i = 0; i < kSignatureSize; ++i) Identification1[i] = static_cast<uint8_t>(id[i]);
  CommandAddress = kCommandAddress;
}

bool ZA4808ZA::Open(bool tolerateLockFailure) {
  return Device != nullptr && Device->Open(tolerateLockFailure);
}

void ZA4808ZA::Close() {
  if (Device != nullptr) Device->Close();
}

int32_t ZA4808ZA::ReadSectors(uint32_t lba, uint32_t count, uint8_t* buffer) {
  if (Device == nullptr || buffer == nullptr) return kResultSectorIoFailed;
  return Device->ReadSectors(lba, count, buffer) ? kResultSuccess : kResultSectorIoFailed;
}

int32_t ZA4808ZA::WriteSectors(uint32_t lba, uint32_t count, const uint8_t* buffer) {
  if (Device == nullptr || buffer == nullptr) return kResultSectorIoFailed;
  return Device->WriteSectors(lba, count, buffer) ? kResultSuccess : kResultSectorIoFailed;
}

int32_t ZA4808ZA::UnlockSequence(uint8_t* scratch) {
  for (int i = 0; i < 5; ++i) {
    if (ReadSectors(kUnlockLbas[i], 1, scratch) != kResultSuccess) return kUnlockCodes[i];
  }
  if (SignatureOffset < 0 || SignatureOffset > static_cast<int32_t>(kSectorBytes) - kSignatureSize) {
    return kResultWrongSignature;
  }
  const uint8_t* signature = scratch + SignatureOffset;
  std::memcpy(LastSignature, signature, kSignatureSize);
  LastSignature[kSignatureSize] = 0;
  if (std::memcmp(signature, Identification1, kSignatureSize) == 0) return kResultSuccess;
  if (Identification1[0] == 0) return kResultWrongSignature;
  if (std::memcmp(signature, Identification2, kSignatureSize) == 0) return kResultSuccess;
  return kResultWrongSignature;
}

void ZA4808ZA::LeaveVendorMode(uint8_t* scratch) {
  ReadSectors(kLeaveVendorModeLba, 1, scratch);
}

int32_t ZA4808ZA::Restore(uint32_t commandAddress, const uint8_t* saved, uint32_t sectors) {
  for (int attempt = 0; attempt < kRestoreAttempts; ++attempt) {
    if (WriteSectors(commandAddress, sectors, saved) == kResultSuccess) return kResultSuccess;
  }
  return kResultSectorIoFailed;
}

ZA4808ZA::TryOutcome ZA4808ZA::RunCommand(uint32_t commandAddress, const CommandBlock& command,
                                          uint8_t* dataIn, const uint8_t* dataOut,
                                          uint32_t sectors) {
  TryOutcome out;
  const bool writesData = dataOut != nullptr && sectors > 0;
  // Save what the exchange may overwrite at the command address.
  const uint32_t saveSectors = writesData ? std::max<uint32_t>(1, sectors) : 1;
  std::vector<uint8_t> saved(static_cast<std::size_t>(saveSectors) * kSectorBytes);
  if (ReadSectors(commandAddress, saveSectors, saved.data()) != kResultSuccess) {
    out.code = kResultSaveReadFailed;
    return out;
  }

  uint8_t scratch[kSectorBytes];
  out.code = UnlockSequence(scratch);
  if (out.code != kResultSuccess) {
    LeaveVendorMode(scratch);
    return out;
  }

  // The block as written: the data phase may reuse the caller's storage.
  const CommandBlock written = command;
  // The check: returns what outranks the command's own result, or success.
  auto checkAndRestore = [&](bool afterDataPhase) -> int32_t {
    if (ReadSectors(commandAddress, 1, scratch) != kResultSuccess) {
      // The drive may still wait for the data phase; disarm it before
      // anything is written, then look again.
      if (ReadSectors(kLeaveVendorModeLba, 1, scratch) != kResultSuccess ||
          ReadSectors(commandAddress, 1, scratch) != kResultSuccess) {
        return kResultCommandAddressUnknown;
      }
    }
    // A drive that stored the command as data shows it (or, for data out,
    // the first data sector) at the command address.
    const bool stored = SameSector(scratch, written.data()) ||
                        (afterDataPhase && SameSector(scratch, command.data())) ||
                        (afterDataPhase && writesData && SameSector(scratch, dataOut));
    // A single saved sector that reads back unchanged needs no write.
    const bool unchanged = saveSectors == 1 && SameSector(scratch, saved.data());
    out.commandStored = stored;
    if (!stored || unchanged) return kResultSuccess;
    return Restore(commandAddress, saved.data(), saveSectors) == kResultSuccess ? kResultSuccess
                                                                                : kResultRestoreFailed;
  };

  if (WriteSectors(commandAddress, 1, written.data()) != kResultSuccess) {
    LeaveVendorMode(scratch);
    out.code = kResultCommandWriteFailed;
    // A write whose status was lost may still have stored the block.
    const int32_t check = checkAndRestore(false);
    if (check != kResultSuccess) out.code = check;
    return out;
  }

  if (dataIn != nullptr || dataOut != nullptr) {
    if (sectors > 0) {
      const int32_t r = dataIn != nullptr ? ReadSectors(kCommandAddress, sectors, dataIn)
                                          : WriteSectors(commandAddress, sectors, dataOut);
      if (r != kResultSuccess) out.code = kResultDataPhaseFailed;
    }
    out.dataPhaseDone = out.code == kResultSuccess;
  }

  // Also after a failed data phase.
  const int32_t check = checkAndRestore(true);
  if (check != kResultSuccess) out.code = check;
  return out;
}

int32_t ZA4808ZA::ExchangeIn(const CommandBlock& command, std::span<uint8_t> data,
                             uint32_t byteCount, bool tolerateLockFailure) {
  const bool given = data.data() != nullptr;
  if (!BufferFits(data.size(), given, byteCount)) return kResultInvalidArgument;
  ExchangeOpen open(Device, tolerateLockFailure);
  if (!open.ok()) return kResultOpenFailed;
  return RunCommand(CommandAddress, command, data.data(), nullptr, SectorsForBytes(byteCount)).code;
}

int32_t ZA4808ZA::ExchangeOut(const CommandBlock& command, std::span<const uint8_t> data,
                              uint32_t byteCount, bool tolerateLockFailure) {
  const bool given = data.data() != nullptr;
  if (!BufferFits(data.size(), given, byteCount)) return kResultInvalidArgument;
  ExchangeOpen open(Device, tolerateLockFailure);
  if (!open.ok()) return kResultOpenFailed;
  return RunCommand(CommandAddress, command, nullptr, data.data(), SectorsForBytes(byteCount)).code;
}

int32_t ZA4808ZA::ExchangeDiscover(const CommandBlock& command, std::span<uint8_t> data,
                                   uint32_t byteCount, bool tolerateLockFailure) {
  const bool given = data.data() != nullptr;
  if (!BufferFits(data.size(), given, byteCount)) return kResultInvalidArgument;
  ExchangeOpen open(Device, tolerateLockFailure);
  if (!open.ok()) return kResultOpenFailed;
  const uint32_t sectors = SectorsForBytes(byteCount);

  CommandAddress = kCommandAddress;
  TryOutcome first = RunCommand(kCommandAddress, command, data.data(), nullptr, sectors);
  if (first.code != kResultCommandWriteFailed && first.code != kResultDataPhaseFailed) {
    return first.code;
  }
  TryOutcome second = RunCommand(kFallbackCommandAddress, command, data.data(), nullptr, sectors);
  // A drive that stored the block at the fallback address as data does not
  // take commands there: what its data phase read is the user's sector, not
  // a reply (the buffer holds no reply), and later commands must not go
  // there.
  if (second.commandStored && second.code == kResultSuccess) return kResultDataPhaseFailed;
  if (second.dataPhaseDone && !second.commandStored) CommandAddress = kFallbackCommandAddress;
  return second.code;
}

}  // namespace dozered
