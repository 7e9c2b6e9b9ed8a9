// Result codes of the vendor-command transport. Every exchange and every
// vendor command returns one of these; callers put the number into their own
// messages ("Read flash fail(%d)").
#pragma once

#include <cstdint>

namespace dozered {

inline constexpr int32_t kResultSuccess = 0;
inline constexpr int32_t kResultUnlockReadAAFailed = -1;     // unlock read of LBA 0xAA
inline constexpr int32_t kResultUnlockReadAA00Failed = -2;   // unlock read of LBA 0xAA00
inline constexpr int32_t kResultUnlockRead55Failed = -3;     // unlock read of LBA 0x55
inline constexpr int32_t kResultUnlockRead5500Failed = -4;   // unlock read of LBA 0x5500
inline constexpr int32_t kResultUnlockRead55AAFailed = -5;   // unlock read of LBA 0x55AA
inline constexpr int32_t kResultCommandWriteFailed = -6;     // writing the command block failed
inline constexpr int32_t kResultDataPhaseFailed = -7;        // the data transfer failed
// The sector at the command address could not be read before the command,
// so it could not be restored afterwards: nothing was sent to the drive.
inline constexpr int32_t kResultSaveReadFailed = -8;
// The caller's buffer is smaller than the data the command transfers, or a
// parameter is out of its range: nothing was sent to the drive.
inline constexpr int32_t kResultInvalidArgument = -9;
inline constexpr int32_t kResultWrongSignature = -10;        // neither identification string
inline constexpr int32_t kResultOpenFailed = -12;            // opening the drive failed
// The drive kept the command block (or the command's data) at the command
// address and writing the saved sectors back failed: from the command address
// on, the drive holds vendor data instead of the user's sectors. Reported
// whatever the command itself gave.
inline constexpr int32_t kResultRestoreFailed = -13;
// The command address could not be read back after the command, not even
// after leaving the vendor mode, so whether the drive stored the command
// there is unknown. Nothing was written back. Reported whatever the command
// itself gave.
inline constexpr int32_t kResultCommandAddressUnknown = -14;
inline constexpr int32_t kResultSectorIoFailed = -127;       // a single sector read or write failed

}  // namespace dozered
