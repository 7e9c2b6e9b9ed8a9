// Reading of the configuration files (String.ini, TabSheet.ini,
// VirtualDrives.ini, the layout files and a drive's own String.ini). They
// come from users and from other tools, so they are read defensively: files
// above a sane size are refused, a UTF-8 byte-order mark is skipped, a UTF-16
// file is recognised and refused (its text would read as empty names), and
// line files are read as a stream that stops where the reader has what it
// needs. Every refusal comes with a note that names the file, for the status
// line or the start-up message.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "decode/ini_file.h"

namespace dozered {

// No configuration file the tool knows needs more than a few kilobytes.
inline constexpr std::uintmax_t kConfigFileMaxBytes = 1024 * 1024;
// The longest line String.ini and TabSheet.ini are read with.
inline constexpr std::size_t kConfigLineLimit = 99;

enum class ConfigFileState {
  kReadable,    // opened; its text follows
  kMissing,     // not there (or not a file): the normal case for most of them
  kTooLarge,    // larger than kConfigFileMaxBytes
  kUtf16,       // saved as UTF-16
  kUnreadable,  // there, but it cannot be opened or read
};

// The note for a file in `state` ("" for kReadable and kMissing). `name` is
// how the user knows the file, e.g. "TabSheet.ini" or "V126/String.ini".
std::string ConfigFileNote(ConfigFileState state, const std::string& name);

// Reads a configuration file line by line, the way a Windows program reading
// in text mode sees it: "\r\n" ends a line like "\n", and no carriage return
// is left at the end of a line.
class ConfigLineReader {
 public:
  explicit ConfigLineReader(const std::filesystem::path& path);

  ConfigFileState State() const { return state_; }
  bool Readable() const { return state_ == ConfigFileState::kReadable; }

  // The next line without its line end. A line longer than `limit`
  // characters keeps its first `limit` characters; the rest of it is skipped
  // without being held. False at the end of the file.
  bool NextLine(std::string& line, std::size_t limit);

 private:
  std::ifstream in_;
  ConfigFileState state_ = ConfigFileState::kMissing;
};

// The whole text of a configuration file, without a UTF-8 byte-order mark;
// empty unless the state is kReadable.
struct ConfigText {
  ConfigFileState state = ConfigFileState::kMissing;
  std::string text;
};
ConfigText ReadConfigText(const std::filesystem::path& path);

// An INI file (a layout file, a drive's own String.ini), parsed when it
// could be read.
struct ConfigIni {
  ConfigFileState state = ConfigFileState::kMissing;
  std::optional<IniFile> ini;
};
ConfigIni ReadConfigIni(const std::filesystem::path& path);

}  // namespace dozered
