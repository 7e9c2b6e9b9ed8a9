// The vendor-command transport over sector reads and writes, and the vendor
// command set. Every command reads LBA 0, builds a CommandBlock and runs one
// exchange; it returns the exchange's result code (result_codes.h).
//
// Data buffers: a data-in command fills count x 512 bytes (or its fixed
// length) of `buffer`; a buffer smaller than that is refused with
// kResultInvalidArgument before anything is sent.
#pragma once

#include <cstdint>
#include <span>

#include "protocol/command_block.h"
#include "protocol/tarn_ssd_hba.h"

namespace dozered {

class ZA4808ZA : public TarnSsdHba {
 public:
  ZA4808ZA();

  // --- transport ---

  // Opens the bound record with the tolerance given / closes it.
  bool Open(bool tolerateLockFailure);
  void Close();

  // Sector read and write of the bound record: 0, or kResultSectorIoFailed.
  int32_t ReadSectors(uint32_t lba, uint32_t count, uint8_t* buffer);
  int32_t WriteSectors(uint32_t lba, uint32_t count, const uint8_t* buffer);

  // The five unlock reads into `scratch` (one sector) and the signature check.
  int32_t UnlockSequence(uint8_t* scratch);

  // Command at CommandAddress, then (N + 511) / 512 sectors read from 0x55AA
  // into `data` (none when empty). The record is open after the call exactly
  // when it was open before it.
  int32_t ExchangeIn(const CommandBlock& command, std::span<uint8_t> data, uint32_t byteCount,
                     bool tolerateLockFailure);
  // Command at CommandAddress, then the data written at CommandAddress.
  int32_t ExchangeOut(const CommandBlock& command, std::span<const uint8_t> data,
                      uint32_t byteCount, bool tolerateLockFailure);
  // ExchangeIn with the fallback to command address 0x0789 (the probe);
  // sets CommandAddress.
  int32_t ExchangeDiscover(const CommandBlock& command, std::span<uint8_t> data,
                           uint32_t byteCount, bool tolerateLockFailure);

  // --- vendor command set ---

  int32_t ReadFlash(const FlashAddress& address, uint32_t count, std::span<uint8_t> buffer);
  int32_t EraseFlash(const FlashAddress& address, uint32_t count, std::span<uint8_t> buffer);
  // Level value at byte 14 + slot; slot 0 to 3.
  int32_t ReadFlashDistribution(const FlashAddress& address, int slot, uint8_t level,
                                uint32_t count, std::span<uint8_t> buffer);
  int32_t ReadChunkEcc(const FlashAddress& address, uint32_t count, std::span<uint8_t> buffer);
  // The chunk of `address` is not sent.
  int32_t WriteFlash(const FlashAddress& address, uint32_t count,
                     std::span<const uint8_t> buffer);
  int32_t ReadFlashId(uint32_t count, std::span<uint8_t> buffer);
  // Sent through ExchangeDiscover: the probe's first command.
  int32_t DiscoverReadFlashId(uint32_t count, std::span<uint8_t> buffer);
  int32_t ReadIdentify(std::span<uint8_t> buffer);   // 512 bytes
  int32_t ReadIspInfo(std::span<uint8_t> buffer);    // 512 bytes
  int32_t ReadSmart(uint8_t subCommand, std::span<uint8_t> buffer);  // 512 bytes
  int32_t ReadCid(std::span<uint8_t> buffer);        // 512 bytes
  int32_t ReadEraseCount(uint32_t count, std::span<uint8_t> buffer);
  int32_t ReadMarkBadInfo(uint32_t count, std::span<uint8_t> buffer);
  int32_t ReadBadBlockInfo(uint8_t selector, std::span<uint8_t> buffer);  // 12,288 bytes
  int32_t ReadErrorLog(uint32_t count, std::span<uint8_t> buffer);
  int32_t TranslateLba(uint32_t lba, uint32_t count, std::span<uint8_t> buffer);
  // The reply (512 bytes) is read into the command's own storage and ignored.
  int32_t SetFlashClock(uint16_t clock);
  int32_t EnterRomCodeMode(uint8_t mode);
  // 1 to 128 sectors; any other count is refused before anything is sent.
  int32_t DownloadCode(uint32_t address, uint32_t count, std::span<const uint8_t> buffer);
  int32_t JumpToCode(uint32_t address, uint32_t count, std::span<const uint8_t> buffer);
  int32_t LoadDiagnosticCode(uint32_t address, uint32_t count, std::span<const uint8_t> buffer);

 private:
  // One try of a command at `commandAddress` on an open record: save, unlock,
  // command write, data phase, check and restore.
  struct TryOutcome {
    int32_t code = 0;
    bool dataPhaseDone = false;  // data was given and transferred completely
    bool commandStored = false;  // the check found the command stored as data
  };
  // At most one of `dataIn` (read from 0x55AA) and `dataOut` (written at the
  // command address) is given.
  TryOutcome RunCommand(uint32_t commandAddress, const CommandBlock& command, uint8_t* dataIn,
                        const uint8_t* dataOut, uint32_t sectors);
  // One read of 0x1234: leaves the vendor mode after a failed unlock or
  // command write.
  void LeaveVendorMode(uint8_t* scratch);
  int32_t Restore(uint32_t commandAddress, const uint8_t* saved, uint32_t sectors);

  void ReadPreCommandSector(CommandBlock& storage);
  int32_t SendIn(CommandBlock& command, std::span<uint8_t> buffer, uint32_t bytes);
  int32_t SendOut(CommandBlock& command, std::span<const uint8_t> buffer, uint32_t bytes);
};

}  // namespace dozered
