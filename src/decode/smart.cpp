#include "decode/smart.h"

#include <algorithm>
#include <cstdio>

#include "decode/ini_file.h"

namespace dozered {
namespace {

uint8_t ByteAt(std::span<const uint8_t> data, size_t i) { return i < data.size() ? data[i] : 0; }

// Text of bytes [first, first + count) up to the first NUL.
std::string TextAt(std::span<const uint8_t> data, size_t first, size_t count) {
  std::string text;
  for (size_t i = first; i < first + count; ++i) {
    const uint8_t c = ByteAt(data, i);
    if (c == 0) break;
    text.push_back(static_cast<char>(c));
  }
  return text;
}

}  // namespace

std::filesystem::path PerModelStringIniPath(const std::filesystem::path& exeDir,
                                            std::span<const uint8_t> identify,
                                            std::span<const uint8_t> ispInfo) {
  // Firmware revision in reading order: the bytes of each word exchanged.
  uint8_t firmware[8];
  for (size_t i = 0; i < 8; i += 2) {
    firmware[i] = ByteAt(identify, 46 + i + 1);
    firmware[i + 1] = ByteAt(identify, 46 + i);
  }
  const std::string folder = TextAt(ispInfo, 404, 12);
  const bool sandisk = TextAt(ispInfo, 416, 4) == "SNDK";

  // Joined as texts, so that a folder name from the drive can only ever
  // extend the executable's directory, never replace it.
  std::string path = exeDir.string();
  path.append("/").append(folder);
  if (sandisk && firmware[0] == 'P') {
    path.append("/").append(TextAt(std::span<const uint8_t>(firmware), 0, 3));
  }
  path.append("/String.ini");
  return std::filesystem::path(path);
}

std::optional<SmartNames> LoadPerModelNames(const std::filesystem::path& path) {
  const std::optional<IniFile> ini = IniFile::Load(path);
  if (!ini) return std::nullopt;
  SmartNames names;
  for (int id = 1; id <= 255; ++id) {
    char key[8];
    std::snprintf(key, sizeof key, "ID%X", id);
    names[id] = ini->GetString("VE4810VO", key, "", kSmartNameMaxChars);
  }
  return names;
}

SmartNames NamesFromTable(const AttributeNameTable& table) {
  SmartNames names;
  for (size_t id = 0; id < table.size(); ++id) {
    const auto& entry = table[id];
    const auto end = std::find(entry.begin(), entry.end(), '\0');
    names[id] = std::string(entry.begin(), end);
  }
  return names;
}

Rows DecodeSmart(std::span<const uint8_t> smart, const SmartNames& names) {
  Rows rows;
  for (int e = 0; e < kSmartEntryCount; ++e) {
    const size_t base = 2 + 12 * static_cast<size_t>(e);
    if (base + 12 > smart.size()) break;
    const uint8_t* entry = smart.data() + base;
    const unsigned id = entry[0];
    if (id == 0) continue;
    char buf[64];
    Row row;
    std::snprintf(buf, sizeof buf, "%02X ", id);
    row.push_back(buf + names[id].substr(0, kSmartNameMaxChars));
    std::snprintf(buf, sizeof buf, "0x%02X (%d)", entry[3], entry[3]);
    row.push_back(buf);
    std::snprintf(buf, sizeof buf, "0x%02X (%d)", entry[4], entry[4]);
    row.push_back(buf);
    std::snprintf(buf, sizeof buf, "%02X %02X %02X %02X %02X %02X", entry[10], entry[9], entry[8],
                  entry[7], entry[6], entry[5]);
    row.push_back(buf);
    rows.push_back(std::move(row));
  }
  return rows;
}

Rows DecodeSmart(std::span<const uint8_t> smart, std::span<const uint8_t> identify,
                 std::span<const uint8_t> ispInfo, const std::filesystem::path& exeDir,
                 const AttributeNameTable& startupNames) {
  const std::optional<SmartNames> perModel =
      LoadPerModelNames(PerModelStringIniPath(exeDir, identify, ispInfo));
  return DecodeSmart(smart, perModel ? *perModel : NamesFromTable(startupNames));
}

}  // namespace dozered
