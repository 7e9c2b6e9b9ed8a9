#include "decode/ini_file.h"


namespace dozered {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

}  // namespace

IniFile IniFile::FromText(std::string_view text) {
  IniFile ini;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  // Repeated sections add nothing: the first one is the one that is found.
  Section* current = nullptr;
  bool currentIsFirst = false;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = Trim(text.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      const size_t close = line.rfind(']');
      if (close == std::string_view::npos) continue;
      auto [it, inserted] = ini.sections_.try_emplace(Lower(Trim(line.substr(1, close - 1))));
      current = &it->second;
      currentIsFirst = inserted;
      continue;
    }
    if (current == nullptr || !currentIsFirst) continue;
    Key key;
    std::string_view name = line;
    const size_t eq = line.find('=');
    if (eq != std::string_view::npos) {
      name = Trim(line.substr(0, eq));
      std::string_view value = Trim(line.substr(eq + 1));
      if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
          value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
      }
      key.value = std::string(value);
      key.hasValue = true;
    }
    ++current->keyLines;
    current->keys.try_emplace(Lower(name), std::move(key));
  }
  return ini;
}

bool IniFile::HasKeys(std::string_view section) const {
  auto it = sections_.find(Lower(section));
  return it != sections_.end() && it->second.keyLines > 0;
}

std::string IniFile::GetString(std::string_view section, std::string_view key,
                               std::string_view fallback, size_t maxChars) const {
  std::string_view value = fallback;
  auto s = sections_.find(Lower(section));
  if (s != sections_.end() && !key.empty()) {
    auto k = s->second.keys.find(Lower(key));
    if (k != s->second.keys.end() && k->second.hasValue) value = k->second.value;
  }
  const size_t nul = value.find('\0');
  if (nul != std::string_view::npos) value = value.substr(0, nul);
  if (value.size() > maxChars) value = value.substr(0, maxChars);
  return std::string(value);
}

}  // namespace dozered
