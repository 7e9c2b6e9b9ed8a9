#include "app/config_file.h"

#include <cstdio>
#include <iterator>
#include <system_error>

namespace dozered {
namespace {

constexpr unsigned char kUtf8Bom[] = {0xEF, 0xBB, 0xBF};

// Opens `path` for reading and places the stream after a UTF-8 byte-order
// mark. UTF-16 shows as its byte-order mark, or without one as a NUL in
// either of the first two bytes of a text that starts with a character.
ConfigFileState Open(const std::filesystem::path& path, std::ifstream& in) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) {
    return std::filesystem::exists(path, error) ? ConfigFileState::kUnreadable : ConfigFileState::kMissing;
  }
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (error) return ConfigFileState::kUnreadable;
  if (size > kConfigFileMaxBytes) return ConfigFileState::kTooLarge;
  in.open(path, std::ios::binary);
  if (!in) return ConfigFileState::kUnreadable;

  unsigned char head[3] = {};
  in.read(reinterpret_cast<char*>(head), sizeof head);
  const std::streamsize got = in.gcount();
  in.clear();
  const bool utf16Bom = got >= 2 && ((head[0] == 0xFF && head[1] == 0xFE) || (head[0] == 0xFE && head[1] == 0xFF));
  const bool utf16Text = got >= 2 && ((head[0] == 0) != (head[1] == 0));
  if (utf16Bom || utf16Text) {
    in.close();
    return ConfigFileState::kUtf16;
  }
  const bool utf8Bom = got == 3 && head[0] == kUtf8Bom[0] && head[1] == kUtf8Bom[1] && head[2] == kUtf8Bom[2];
  in.seekg(utf8Bom ? 3 : 0);
  return in ? ConfigFileState::kReadable : ConfigFileState::kUnreadable;
}

}  // namespace

std::string ConfigFileNote(ConfigFileState state, const std::string& name) {
  char note[512];
  switch (state) {
    case ConfigFileState::kTooLarge:
      std::snprintf(note, sizeof note, "%.400s is larger than %u KB and was not read", name.c_str(),
                    static_cast<unsigned>(kConfigFileMaxBytes / 1024));
      return note;
    case ConfigFileState::kUtf16:
      std::snprintf(note, sizeof note, "%.400s is saved as UTF-16 and was not read; save it as ANSI or UTF-8",
                    name.c_str());
      return note;
    case ConfigFileState::kUnreadable:
      std::snprintf(note, sizeof note, "%.400s cannot be read", name.c_str());
      return note;
    case ConfigFileState::kReadable:
    case ConfigFileState::kMissing:
      break;
  }
  return std::string();
}

ConfigLineReader::ConfigLineReader(const std::filesystem::path& path) : state_(Open(path, in_)) {}

bool ConfigLineReader::NextLine(std::string& line, std::size_t limit) {
  line.clear();
  if (!Readable()) return false;
  std::streambuf* buffer = in_.rdbuf();
  if (buffer->sgetc() == std::char_traits<char>::eof()) return false;
  // One character more than the limit is held, so that a carriage return
  // right after the limit can be told from the line's own text.
  bool cut = false;
  for (int c = buffer->sbumpc(); c != std::char_traits<char>::eof() && c != '\n'; c = buffer->sbumpc()) {
    if (line.size() <= limit) {
      line.push_back(static_cast<char>(c));
    } else {
      cut = true;
    }
  }
  if (!cut && !line.empty() && line.back() == '\r') line.pop_back();
  if (line.size() > limit) line.resize(limit);
  return true;
}

ConfigText ReadConfigText(const std::filesystem::path& path) {
  ConfigText result;
  std::ifstream in;
  result.state = Open(path, in);
  if (result.state != ConfigFileState::kReadable) return result;
  result.text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) {
    result.state = ConfigFileState::kUnreadable;
    result.text.clear();
  }
  return result;
}

ConfigIni ReadConfigIni(const std::filesystem::path& path) {
  ConfigIni result;
  const ConfigText file = ReadConfigText(path);
  result.state = file.state;
  if (file.state == ConfigFileState::kReadable) result.ini = IniFile::FromText(file.text);
  return result;
}

}  // namespace dozered
