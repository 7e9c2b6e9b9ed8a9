// The controller's data scrambler. Every page has its own scrambling stream:
// a 15-bit LFSR, s = (s >> 1) | (((s ^ (s >> 1)) & 1) << 14), seeded by a
// hash of the page's number within its block (| 1, so that it never sticks at
// zero), stepped 8 times per byte, each byte XORed with the low byte of the
// state. The stream starts at byte 0 of the page's data and runs on through
// the spare bytes that follow the data; spare byte 0, the bad-block mark, is
// never scrambled (its stream byte is passed over).
//
// Scrambling and descrambling are the same XOR, so every function below does
// both.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dozered::sim {

// The LFSR state that starts the stream of page `pageInBlock` on a drive with `seed`.
uint16_t ScramblerSeedState(uint64_t seed, int pageInBlock);

// XORs a whole page: `dataLength` data bytes (the page's whole data area) and
// `spareLength` spare bytes. Either buffer may be null.
void ScramblePage(uint64_t seed, int pageInBlock, uint8_t* data, size_t dataLength, uint8_t* spare,
                  size_t spareLength);

// XORs `length` data bytes that stand at byte `offset` of the page's data area.
void ScrambleData(uint64_t seed, int pageInBlock, size_t offset, uint8_t* data, size_t length);

// XORs the spare bytes of a page whose data area holds `pageDataBytes` bytes;
// spare byte 0 is left as it is.
void ScrambleSpare(uint64_t seed, int pageInBlock, size_t pageDataBytes, uint8_t* spare, size_t spareLength);

// XORs `length` bytes with the stream from stream position `position` on
// (position = byte offset in the data area, or page bytes + spare offset).
void ScrambleStream(uint64_t seed, int pageInBlock, size_t position, uint8_t* bytes, size_t length);

}  // namespace dozered::sim
