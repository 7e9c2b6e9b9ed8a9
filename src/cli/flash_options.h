// What the commands of the flash pages share: the address fields as options
// (hexadecimal texts, the "Sectors:" list) and how an operation's end
// (FlashStatus) becomes the command's result.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "cli/output.h"
#include "flash/flash_fields.h"
#include "flash/flash_operation.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace dozered::cli {

class Session;

// The value of a hexadecimal option: "0x" in front allowed, 1 to `digits`
// hexadecimal digits. Nothing when the text is not such a number.
std::optional<uint32_t> HexFieldValue(const std::string& text, size_t digits);
// The text a page's field holds for it: `digits` upper-case digits ("01A0").
// `text` must have passed HexFieldValue.
std::string FieldText(const std::string& text, size_t digits);

// Adds `--name HEX` of up to `digits` hexadecimal digits into `text`.
CLI::Option* AddHexOption(CLI::App& command, const std::string& name, std::string& text, size_t digits,
                          const std::string& description);
// Adds `--sectors SIZE` (1K ... 32K, as the "Sectors:" list) into `text`.
CLI::Option* AddSectorsOption(CLI::App& command, std::string& text);
// The item of the "Sectors:" list a text names ("16K", "16 K", "16k"); -1
// for none.
int SectorItem(const std::string& text);

// The address fields with the option and channel/CE fields showing
// FlashOption and FlashChCe.
void ShowOptionBytes(const AppState& state, FlashAddressFields& fields);

// The document's "address" keys for the fields as a command sends them:
// block, page, chunk, option, chce, sectors ("1 K"...), data_sectors,
// read_sectors.
Json AddressJson(const FlashAddressFields& fields);

// "done", "failed", "refused", "nothing".
const char* StatusName(FlashStatus status);

// The result of an operation that ended with `status`: kDone as it is;
// kFailed exit 1 with the drive's `result` and the error line of
// DriveFailure; kRefused (nothing sent) exit 2 with `message` (or the last
// error message box) and `hint`; kNothing exit 1. `out` carries the keys and
// text gathered so far; "status" and "message" are added.
CommandResult FlashStatusResult(Session& session, FlashStatus status, int32_t result, const std::string& message,
                                CommandResult out, const std::string& hint = "check the options (run with --help)");

}  // namespace dozered::cli
