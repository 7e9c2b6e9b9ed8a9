#include "cli/flash_options.h"

#include <CLI/CLI.hpp>
#include <cctype>
#include <cstdio>

#include "cli/commands.h"
#include "cli/session.h"

namespace dozered::cli {
namespace {

CLI::Validator HexField(size_t digits) {
  return CLI::Validator(
      [digits](std::string& text) -> std::string {
        if (HexFieldValue(text, digits)) return std::string();
        return "\"" + text + "\" is no hexadecimal number of 1 to " + std::to_string(digits) + " digits";
      },
      "", "hex");
}

std::string SectorItemNames() {
  std::string names;
  for (int i = 0; i < kSectorItemCount; ++i) {
    for (const char* c = kSectorItems[i]; *c != '\0'; ++c) {
      if (*c != ' ') names.push_back(*c);
    }
    if (i + 1 < kSectorItemCount) names += ", ";
  }
  return names;
}

}  // namespace

// The digits of a hexadecimal field: "0x" in front allowed, 1 to `digits`
// hexadecimal digits. Nothing when the text is not such a number.
std::optional<uint32_t> HexFieldValue(const std::string& text, size_t digits) {
  std::string_view rest = text;
  if (rest.size() > 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) rest.remove_prefix(2);
  if (rest.empty() || rest.size() > digits) return std::nullopt;
  uint32_t value = 0;
  for (char c : rest) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
    value = value * 16 + static_cast<uint32_t>(std::isdigit(static_cast<unsigned char>(c))
                                                   ? c - '0'
                                                   : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
  }
  return value;
}

// The item of the "Sectors:" list a text names: "16K", "16 K", "16k".
int SectorItem(const std::string& text) {
  std::string wanted;
  for (char c : text) {
    if (c != ' ') wanted.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
  }
  for (int i = 0; i < kSectorItemCount; ++i) {
    std::string item;
    for (const char* c = kSectorItems[i]; *c != '\0'; ++c) {
      if (*c != ' ') item.push_back(*c);
    }
    if (item == wanted) return i;
  }
  return -1;
}

std::string FieldText(const std::string& text, size_t digits) {
  char field[16];
  std::snprintf(field, sizeof field, "%0*X", static_cast<int>(digits), static_cast<unsigned>(*HexFieldValue(text, digits)));
  return field;
}

const char* StatusName(FlashStatus status) {
  switch (status) {
    case FlashStatus::kDone: return "done";
    case FlashStatus::kFailed: return "failed";
    case FlashStatus::kRefused: return "refused";
    case FlashStatus::kNothing: break;
  }
  return "nothing";
}

CLI::Option* AddHexOption(CLI::App& command, const std::string& name, std::string& text, size_t digits,
                          const std::string& description) {
  return command.add_option(name, text, description)->check(HexField(digits))->type_name("HEX");
}

CLI::Option* AddSectorsOption(CLI::App& command, std::string& text) {
  return command
      .add_option("--sectors", text,
                  "Data of the page, an item of the \"Sectors:\" list: " + SectorItemNames() + " (default 1K)")
      ->check(CLI::Validator(
          [](std::string& value) -> std::string {
            if (SectorItem(value) >= 0) return std::string();
            return "\"" + value + "\" is no item of the Sectors list; give one of " + SectorItemNames();
          },
          "", "sectors"))
      ->type_name("SIZE");
}

void ShowOptionBytes(const AppState& state, FlashAddressFields& fields) {
  fields.Option = ByteText(state.FlashOption);
  fields.ChCe = ByteText(state.FlashChCe);
}

Json AddressJson(const FlashAddressFields& fields) {
  const FlashTarget target = ParseFlashTarget(fields);
  const int item = fields.SectorIndex >= 0 && fields.SectorIndex < kSectorItemCount ? fields.SectorIndex : 0;
  return {{"block", target.Address.block},     {"page", target.Address.page},
          {"chunk", target.Address.chunk},     {"option", target.Address.option},
          {"chce", target.Address.chCe},       {"sectors", kSectorItems[item]},
          {"data_sectors", target.DataSectors}, {"read_sectors", target.ReadSectors}};
}

CommandResult FlashStatusResult(Session& session, FlashStatus status, int32_t result, const std::string& message,
                                CommandResult out, const std::string& hint) {
  out.fields["status"] = StatusName(status);
  out.fields["message"] = message;
  switch (status) {
    case FlashStatus::kDone:
      out.result = result;
      return out;
    case FlashStatus::kFailed: {
      CommandResult failed = DriveFailure(session, message, result);
      failed.fields = std::move(out.fields);
      failed.text = std::move(out.text);
      return failed;
    }
    case FlashStatus::kRefused: {
      // Refused before anything was sent: the status line's text, or the
      // error message box of a field that did not convert.
      std::string why = message;
      for (const CliMessage& m : session.Feedback().Messages()) {
        if (m.kind == CliMessage::Kind::kMessageBox && m.icon == MessageIcon::Error) {
          if (why.empty()) why = m.text;
        }
      }
      CommandResult refused = Failure(kExitUsage, why + "; nothing was sent to the drive, " + hint);
      refused.fields = std::move(out.fields);
      return refused;
    }
    case FlashStatus::kNothing: break;
  }
  CommandResult nothing = Failure(
      kExitCommandFailed, "nothing was sent to " + session.DriveText(session.State().SelectedDevice) + "; run the command again");
  nothing.fields = std::move(out.fields);
  return nothing;
}

}  // namespace dozered::cli
