// The vendor command set: one operation per command, each building its
// command block and running one exchange.
#include "protocol/result_codes.h"
#include "protocol/za4808za.h"

namespace dozered {
namespace {

constexpr bool kTolerateLockFailure = true;

// DownloadCode moves 1 to 128 sectors (64 KiB) per command.
constexpr uint32_t kDownloadCodeMaxSectors = 128;

void PutFlashAddress(CommandBlock& c, const FlashAddress& a, bool withChunk) {
  c[2] = static_cast<uint8_t>(a.block >> 8);
  c[3] = static_cast<uint8_t>(a.block);
  c[4] = static_cast<uint8_t>(a.page);
  if (withChunk) c[5] = a.chunk;
  c[8] = a.option;
  c[10] = a.chCe;
  c[12] = static_cast<uint8_t>(a.page >> 8);
}

void PutLe32(CommandBlock& c, int at, uint32_t v) {
  for (int i = 0; i < 4; ++i) c[static_cast<std::size_t>(at + i)] = static_cast<uint8_t>(v >> (8 * i));
}

void PutBe32(CommandBlock& c, int at, uint32_t v) {
  for (int i = 0; i < 4; ++i) c[static_cast<std::size_t>(at + i)] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

void Start(CommandBlock& c, uint8_t direction, uint8_t opcode) {
  c.Clear();
  c[0] = direction;
  c[1] = opcode;
}

// Byte count of a sector count; a count too large for 32 bits saturates, so
// the buffer check of the exchange refuses it.
uint32_t BytesOf(uint32_t sectors) {
  const uint64_t bytes = static_cast<uint64_t>(sectors) * kSectorBytes;
  return bytes > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(bytes);
}

}  // namespace

void ZA4808ZA::ReadPreCommandSector(CommandBlock& storage) {
  // The read of LBA 0 goes into the command's own storage, which is then
  // cleared; its result is not used.
  ReadSectors(kPreCommandLba, 1, storage.data());
}

int32_t ZA4808ZA::SendIn(CommandBlock& command, std::span<uint8_t> buffer, uint32_t bytes) {
  return ExchangeIn(command, buffer, bytes, kTolerateLockFailure);
}

int32_t ZA4808ZA::SendOut(CommandBlock& command, std::span<const uint8_t> buffer, uint32_t bytes) {
  return ExchangeOut(command, buffer, bytes, kTolerateLockFailure);
}

int32_t ZA4808ZA::ReadFlash(const FlashAddress& address, uint32_t count, std::span<uint8_t> buffer) {
  CommandBlock c;
  ReadPreCommandSector(c);
  Start(c, kDirectionIn, kOpReadFlash);
  PutFlashAddress(c, address, true);
  return SendIn(c, buffer, BytesOf(count));
}

int32_t ZA4808ZA::EraseFlash(const FlashAddress& address, uint32_t count, std::span<uint8_t> buffer) {
  CommandBlock c;
  ReadPreCommandSector(c);
  Start(c, kDirectionIn, kOpEraseFlash);
  PutFlashAddress(c, address, true);
  return SendIn(c, buffer, BytesOf(count));
}

int32_t ZA4808ZA::ReadFlashDistribution(const FlashAddress& address, int slot, uint8_t level,
                                        uint32_t count, std::span<uint8_t> buffer) {
  if (slot < 0 || slot > 3) return kResultInvalidArgument;
  CommandBlock c;
  ReadPreCommandSector(c);
  Start(c, kDirectionIn, kOpReadFlashDistribution);
  PutFlashAddress(c, address, true);
  c[static_cast<std::size_t>(14 + slot)] = level;
  return SendIn(c, buffer, BytesOf(count));
}

int32_t ZA4808ZA::ReadChunkEcc(const FlashAddress& address, uint32_t count, std::span<uint8_t> buffer) {
  CommandBlock c;
  ReadPreCommandSector(c);
  Start(c, kDirectionIn, kOpReadChunkEcc);
  PutFlashAddress(c, address, true);
  return SendIn(c, buffer, BytesOf(count));
}

int32_t ZA4808ZA::WriteFlash(const FlashAddress& address, uint32_t count,
                             std::span<const uint8_t> buffer) {
  CommandBlock c;
  ReadPreCommandSector(c);
  Start(c, kDirectionOut, kOpWriteFlash);
  PutFlashAddress(c, address, false);
  return SendOut(c, buffer, BytesOf(count));
}

int32_t ZA4808ZA::ReadFlashId(uint32_t count, std::span<uint8_t> buffer) {
  CommandBlock c;
  ReadPreCommandSector(c);
  Start(c, kDirectionIn, kOpReadFlashId);
  return SendIn(c, buffer, BytesOf(count));
}

int32_t ZA4808ZA::DiscoverReadFlashId(uint32_t count, std::span<uint8_t> buffer) {
  CommandBlock c;
  ReadPreCommandSector(c);
  Start(c, kDirectionIn, kOpReadFlashId);
  return ExchangeDiscover(c, buffer, BytesOf(count), kTolerateLockFailure);
}

int32_t ZA4808ZA::ReadIdentify(std::span<uint8_t> buffer) {
  CommandBlock c;
  ReadPreCommandSector(c);
  Start(c, kDirectionIn, kOpReadIdentify);
  return SendIn(c, buffer, kReadIdentifyBytes);
}

int32_t ZA4808ZA::ReadIspInfo(std::span<uint8_t> buffer) {
  CommandBlock c;
  ReadPreCommandSector(c);
  Start(c, kDirectionIn, kOpReadIspInfo);
  return SendIn(c, buffer, kReadIspInfoBytes);
}

int32_t ZA4808ZA::ReadSmart(uint8_t subCommand, std::span<uint8_t> buffer) {
  CommandBlock c;
  ReadPreCommandSector(c);
  Start(c, kDirectionIn, kOpReadSmart);
  c[3] = subCommand;
  return SendIn(c, buffer, kReadSmartBytes);
}

int32_t ZA4808ZA::ReadCid(std::span<uint8_t> buffer) {
  CommandBlock c;
  ReadPreCommandSector(c);
  Start(c, kDirectionIn, kOpReadCid);
  return SendIn(c, buffer, kReadCidBytes);
}

int32_t ZA4808ZA::ReadEraseCount(uint32_t count, std::span<uint8_t> buffer) {
  CommandBlock c;
  ReadPreCommandSector(c);
  Start(c, kDirectionIn, kOpReadEraseCount);
  return SendIn(c, buffer, BytesOf(count));
}

int32_t ZA4808ZA::ReadMarkBadInfo(uint32_t count, std::span<uint8_t> buffer) {
  CommandBlock c;
  ReadPreCommandSector(c);
  Start(c, kDirectionIn, kOpReadMarkBadInfo);
  return SendIn(c, buffer, BytesOf(count));
}

int32_t ZA4808ZA::ReadBadBlockInfo(uint8_t selector, std::span<uint8_t> buffer) {
  CommandBlock c;
  ReadPreCommandSector(c);
  Start(c, kDirectionIn, kOpReadBadBlockInfo);
  c[2] = selector;
  return SendIn(c, buffer, kReadBadBlockInfoBytes);
}

int32_t ZA4808ZA::ReadErrorLog(uint32_t count, std::span<uint8_t> buffer) {
  CommandBlock c;
  ReadPreCommandSector(c);
  Start(c, kDirectionIn, kOpReadErrorLog);
  return SendIn(c, buffer, BytesOf(count));
}

int32_t ZA4808ZA::TranslateLba(uint32_t lba, uint32_t count, std::span<uint8_t> buffer) {
  CommandBlock c;
  ReadPreCommandSector(c);
  Start(c, kDirectionIn, kOpTranslateLba);
  PutLe32(c, 2, lba);
  c[15] = 0x44;
  return SendIn(c, buffer, BytesOf(count));
}

int32_t ZA4808ZA::SetFlashClock(uint16_t clock) {
  CommandBlock c;
  ReadPreCommandSector(c);
  Start(c, kDirectionIn, kOpSetFlashClock);
  c[2] = static_cast<uint8_t>(clock);
  c[3] = static_cast<uint8_t>(clock >> 8);
  // The reply lands in the block's own storage.
  return SendIn(c, std::span<uint8_t>(c.bytes), kSectorBytes);
}

int32_t ZA4808ZA::EnterRomCodeMode(uint8_t mode) {
  CommandBlock c;
  ReadPreCommandSector(c);
  Start(c, kDirectionIn, kOpEnterRomCodeMode);
  c[2] = mode;
  return SendIn(c, std::span<uint8_t>(c.bytes), kSectorBytes);
}

int32_t ZA4808ZA::DownloadCode(uint32_t address, uint32_t count, std::span<const uint8_t> buffer) {
  if (count < 1 || count > kDownloadCodeMaxSectors) return kResultInvalidArgument;
  CommandBlock c;
  ReadPreCommandSector(c);
  Start(c, kDirectionOut, kOpDownloadCode);
  PutLe32(c, 6, address);
  return SendOut(c, buffer, BytesOf(count));
}

int32_t ZA4808ZA::JumpToCode(uint32_t address, uint32_t count, std::span<const uint8_t> buffer) {
  CommandBlock c;
  ReadPreCommandSector(c);
  Start(c, kDirectionOut, kOpJumpToCode);
  PutLe32(c, 6, address);
  return SendOut(c, buffer, BytesOf(count));
}

int32_t ZA4808ZA::LoadDiagnosticCode(uint32_t address, uint32_t count,
                                     std::span<const uint8_t> buffer) {
  CommandBlock c;
  ReadPreCommandSector(c);
  Start(c, kDirectionIn, kOpLoadDiagnosticCode);
  PutBe32(c, 4, address);
  c[10] = static_cast<uint8_t>(count >> 8);
  c[11] = static_cast<uint8_t>(count);
  return SendOut(c, buffer, BytesOf(count));
}

}  // namespace dozered
