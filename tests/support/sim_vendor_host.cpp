#include "support/sim_vendor_host.h"

#include <cstring>

#include "device/scsi_cdb.h"

namespace dozered::testing {
namespace {

bool Transfer(VirtualDrive& drive, bool write, uint32_t lba, uint32_t count, uint8_t* buffer) {
  ScsiCommand command;
  scsi::BuildReadWrite10(command.cdb, write ? scsi::kOpWrite10 : scsi::kOpRead10, 0, lba, count);
  command.cdbLength = 10;
  command.dataIn = !write;
  command.data = buffer;
  command.length = count * 512;
  ScsiOutcome outcome;
  return drive.ExecuteScsi(command, outcome) && outcome.status == kScsiStatusGood;
}

constexpr uint32_t kUnlock[5] = {0xAA, 0xAA00, 0x55, 0x5500, 0x55AA};

int Exchange(VirtualDrive& drive, const Sector& command, uint8_t* data, uint32_t bytes, uint32_t commandAddress,
             bool out) {
  Sector scratch{};
  ScsiRead(drive, 0, 1, scratch.data());
  Sector saved{};
  ScsiRead(drive, commandAddress, 1, saved.data());
  char signature[9];
  int result = Unlock(drive, signature);
  if (result == 0 && std::strcmp(signature, "VE4810VO") != 0 && std::strcmp(signature, "VE4810VI") != 0) result = -10;
  if (result != 0) {
    ScsiRead(drive, 0x1234, 1, scratch.data());
    return result;
  }
  if (!ScsiWrite(drive, commandAddress, 1, command.data())) {
    ScsiRead(drive, 0x1234, 1, scratch.data());
    return -6;
  }
  if (data != nullptr) {
    const uint32_t sectors = (bytes + 511) / 512;
    const bool ok = out ? ScsiWrite(drive, commandAddress, sectors, data) : ScsiRead(drive, 0x55AA, sectors, data);
    if (!ok) result = -7;
  }
  ScsiRead(drive, commandAddress, 1, scratch.data());
  if (std::memcmp(scratch.data(), command.data(), 512) == 0) ScsiWrite(drive, commandAddress, 1, saved.data());
  return result;
}

}  // namespace

bool ScsiRead(VirtualDrive& drive, uint32_t lba, uint32_t count, uint8_t* buffer) {
  return Transfer(drive, false, lba, count, buffer);
}

bool ScsiWrite(VirtualDrive& drive, uint32_t lba, uint32_t count, const uint8_t* buffer) {
  return Transfer(drive, true, lba, count, const_cast<uint8_t*>(buffer));
}

Sector ReadSector(VirtualDrive& drive, uint32_t lba) {
  Sector s{};
  ScsiRead(drive, lba, 1, s.data());
  return s;
}

Sector CommandBlock(uint8_t directionClass, uint8_t opcode) {
  Sector s{};
  s[0] = directionClass;
  s[1] = opcode;
  return s;
}

void SetFlashAddress(Sector& block, uint16_t blockNumber, uint16_t page, uint8_t chunk, uint8_t option, uint8_t chce) {
  block[2] = static_cast<uint8_t>(blockNumber >> 8);
  block[3] = static_cast<uint8_t>(blockNumber);
  block[4] = static_cast<uint8_t>(page);
  block[5] = chunk;
  block[8] = option;
  block[10] = chce;
  block[12] = static_cast<uint8_t>(page >> 8);
}

int Unlock(VirtualDrive& drive, char signature[9]) {
  Sector reply{};
  for (int i = 0; i < 5; ++i) {
    if (!ScsiRead(drive, kUnlock[i], 1, reply.data())) return -(i + 1);
  }
  std::memcpy(signature, reply.data() + 46, 8);
  signature[8] = '\0';
  return 0;
}

int ExchangeIn(VirtualDrive& drive, const Sector& command, uint8_t* data, uint32_t bytes, uint32_t commandAddress) {
  return Exchange(drive, command, data, bytes, commandAddress, false);
}

int ExchangeOut(VirtualDrive& drive, const Sector& command, const uint8_t* data, uint32_t bytes,
                uint32_t commandAddress) {
  return Exchange(drive, command, const_cast<uint8_t*>(data), bytes, commandAddress, true);
}

std::vector<uint8_t> ReadReply(VirtualDrive& drive, const Sector& command, uint32_t bytes, int* result) {
  std::vector<uint8_t> data((bytes + 511) / 512 * 512);
  const int r = ExchangeIn(drive, command, data.data(), bytes);
  if (result != nullptr) *result = r;
  if (r != 0) data.clear();
  return data;
}

}  // namespace dozered::testing
