// A minimal host for tests of the simulated drive: SCSI READ(10)/WRITE(10)
// through the VirtualDrive interface and the vendor exchange as the tool runs
// it (LBA 0 read, save, unlock, command, data phase, check and restore).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "device/virtual_drive.h"

namespace dozered::testing {

using Sector = std::array<uint8_t, 512>;

bool ScsiRead(VirtualDrive& drive, uint32_t lba, uint32_t count, uint8_t* buffer);
bool ScsiWrite(VirtualDrive& drive, uint32_t lba, uint32_t count, const uint8_t* buffer);
Sector ReadSector(VirtualDrive& drive, uint32_t lba);

// A command block with byte 0 = direction class and byte 1 = opcode.
Sector CommandBlock(uint8_t directionClass, uint8_t opcode);
// Sets the FlashAddress fields of a command block.
void SetFlashAddress(Sector& block, uint16_t blockNumber, uint16_t page, uint8_t chunk, uint8_t option, uint8_t chce);

// The five unlock reads; returns 0 or -1..-5, and the 8 signature bytes.
int Unlock(VirtualDrive& drive, char signature[9]);

// Result codes as the tool sees them: 0, -1..-5, -6, -7, -10.
int ExchangeIn(VirtualDrive& drive, const Sector& command, uint8_t* data, uint32_t bytes,
               uint32_t commandAddress = 0x55AA);
int ExchangeOut(VirtualDrive& drive, const Sector& command, const uint8_t* data, uint32_t bytes,
                uint32_t commandAddress = 0x55AA);

// Convenience: a data-in command's reply of `bytes` bytes; empty on failure.
std::vector<uint8_t> ReadReply(VirtualDrive& drive, const Sector& command, uint32_t bytes, int* result = nullptr);

}  // namespace dozered::testing
