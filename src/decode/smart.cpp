#include "decode/smart.h"

#include <algorithm>
#include <cstdio>

namespace dozered {

std::optional<SmartNames> PerModelNames(const IniFile& file) {
  SmartNames names;
  bool any = false;
  for (int id = 1; id <= 255; ++id) {
    char key[8];
    std::snprintf(key, sizeof key, "ID%X", id);
    names[id] = file.GetString("VE4810VO", key, "", kSmartNameMaxChars);
    any = any || !names[id].empty();
  }
  if (!any) return std::nullopt;
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

}  // namespace dozered
