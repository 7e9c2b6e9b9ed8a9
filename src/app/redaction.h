// Serial numbers in what the tool shows and saves. With
// AppState::RedactSerialNumbers set (dozered-cli --redact), a drive's serial
// number is blanked with spaces wherever a record carries it: the IDENTIFY
// data's words 10-19, and any copy of it in another record (the CID block
// holds one as text). Dumps, decoded rows and the device information then
// show blanks, so that a report can leave the building.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "app/app_state.h"
#include "protocol/record_text.h"

namespace dozered {

using IdentifyBlock = std::array<uint8_t, kIdentifyBytes>;

// Blanks in `bytes` every copy of the serial number of `identify`: the
// 20-byte field as the IDENTIFY data holds it, and the number as text (without
// its padding; only numbers of 4 characters or more are searched for, so
// that a short one cannot blank unrelated bytes). IDENTIFY data itself is
// blanked by RedactIdentify.
void BlankSerialNumber(std::span<uint8_t> bytes, std::span<const uint8_t, kIdentifyBytes> identify);

// Blanks words 10-19, the serial number, of IDENTIFY data.
void RedactIdentify(std::span<uint8_t, kIdentifyBytes> identify);

// The IDENTIFY data of device `device` as it is shown: words 10-19 blanked
// when serial numbers are redacted.
IdentifyBlock IdentifyAsShown(const AppState& state, int device);

// Blanks the serial number of device `device` in a record read from it, when
// serial numbers are redacted.
void RedactRecord(const AppState& state, int device, std::span<uint8_t> bytes);

}  // namespace dozered
