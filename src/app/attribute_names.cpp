#include "app/attribute_names.h"

#include <cstring>

#include "app/config_file.h"
#include "app/paths.h"

namespace dozered {
namespace {

constexpr char kSectionHeader[] = "[VE4810VO]";
constexpr std::size_t kHeaderCompareLength = 8;
constexpr int kLastNameEntry = 254;

void StoreEntry(std::array<char, kAttributeNameSize>& entry, const std::string& text) {
  std::size_t n = std::min(text.size(), entry.size() - 1);
  std::memcpy(entry.data(), text.data(), n);
  std::memset(entry.data() + n, 0, entry.size() - n);
}

}  // namespace

std::string LoadAttributeNames(const std::filesystem::path& path, AttributeNameTable& names) {
  for (auto& entry : names) entry.fill(0);
  ConfigLineReader file(path);
  if (!file.Readable()) return ConfigFileNote(file.State(), PathText(path));

  int i = 0;
  bool found = false;
  std::string line;
  while (file.NextLine(line, kConfigLineLimit)) {
    if (!found) {
      StoreEntry(names[0], line);
      if (line.compare(0, kHeaderCompareLength, kSectionHeader, kHeaderCompareLength) == 0) {
        found = true;
        i = 1;
      }
      continue;
    }
    const std::size_t key_length = i < 16 ? 4 : 5;
    StoreEntry(names[i], line.size() > key_length ? line.substr(key_length) : std::string());
    if (++i > kLastNameEntry) break;
  }
  return std::string();
}

}  // namespace dozered
