// A reader of Windows-style INI files with the operating system's
// private-profile rules: section and key names compare without regard to
// case, names and values are trimmed of blanks, a value enclosed in a matching
// pair of single or double quotes loses the quotes, the first of repeated
// sections or keys wins, and a value is cut to the size of the caller's text.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace dozered {

class IniFile {
 public:
  // Longest text read by default: a 128-character text area with its NUL.
  static constexpr size_t kDefaultMaxChars = 127;

  // The file's text, read by the caller; a UTF-8 byte-order mark is skipped.
  static IniFile FromText(std::string_view text);

  // True when the section exists and holds at least one key.
  bool HasKeys(std::string_view section) const;

  // The key's value, or `fallback` when the section or key is missing or the
  // key has no "=". The result is cut at a NUL and to `maxChars` characters.
  std::string GetString(std::string_view section, std::string_view key,
                        std::string_view fallback, size_t maxChars = kDefaultMaxChars) const;

 private:
  struct Key {
    std::string value;
    bool hasValue = false;
  };
  struct Section {
    std::map<std::string, Key> keys;  // lower-case name -> first entry
    size_t keyLines = 0;
  };
  std::map<std::string, Section> sections_;  // lower-case name -> first section
};

}  // namespace dozered
