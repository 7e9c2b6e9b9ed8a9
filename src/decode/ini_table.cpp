#include "decode/ini_table.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "decode/text_helpers.h"

namespace dozered {
namespace {

std::string Cut(std::string text) {
  if (text.size() > kIniTextMaxChars) text.resize(kIniTextMaxChars);
  return text;
}

// "0x%02X", "0x%04X", "0x%08X", and the 6- and 8-byte forms; empty otherwise.
std::string ValueText(uint64_t value, size_t n) {
  char buf[32] = "";
  const auto hi = static_cast<unsigned>(value >> 32);
  const auto lo = static_cast<unsigned>(value & 0xFFFFFFFFu);
  switch (n) {
    case 1: std::snprintf(buf, sizeof buf, "0x%02X", lo); break;
    case 2: std::snprintf(buf, sizeof buf, "0x%04X", lo); break;
    case 4: std::snprintf(buf, sizeof buf, "0x%08X", lo); break;
    case 6: std::snprintf(buf, sizeof buf, "0x%04X%08X", hi, lo); break;
    case 8: std::snprintf(buf, sizeof buf, "0x%08X%08X", hi, lo); break;
    default: break;
  }
  return buf;
}

void Note(std::vector<std::string>* skipped, const std::string& section, const char* why) {
  if (skipped != nullptr) skipped->push_back(section + ": " + why);
}

void AddLine(Rows& rows, TableTarget target, std::string line) {
  if (target == TableTarget::CidOption) {
    rows.push_back({PrintablePrefix(Cut(std::move(line)))});
  } else {
    rows.push_back({"", PrintablePrefix(Cut(std::move(line)))});
  }
}

void DecodeBitFields(Rows& rows, const IniFile& layout, const std::string& section,
                     TableTarget target, uint64_t value, size_t n, const std::string& widths,
                     const std::string& methods) {
  int position = 0;
  for (int k = 0;; ++k) {
    const int width = ListField(widths, k);
    const int method = ListField(methods, k);
    if (method != 0) {
      const uint32_t v = ExtractBits(value, position, width, n);
      char key[48] = "";
      if (method == 1) {
        std::snprintf(key, sizeof key, "BitItem%d_%u", k, v);
      } else if (method == 2) {
        std::snprintf(key, sizeof key, "BitItem%d", k);
      }
      const std::string name = layout.GetString(section, key, "0", kIniTextMaxChars);
      std::string line = PrintablePrefix(name);
      if (method == 2) {
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, ": 0x%X", v);
        line += suffix;
      }
      if (name != "0") AddLine(rows, target, std::move(line));
    }
    if (width == -1 || static_cast<size_t>(position) + static_cast<size_t>(width) >= 8 * n) break;
    position += width;
  }
}

}  // namespace

Rows DecodeIniTable(std::span<const uint8_t> record, const IniFile& layout, TableTarget target,
                    std::vector<std::string>* skipped) {
  Rows rows;
  const uint64_t unitSize = ParseDecimal(layout.GetString("Setting", "UnitSize", "0"), 2);
  const uint32_t total = ParseDecimal(layout.GetString("Setting", "TotalUnitNum", "0"), 4);
  if (unitSize == 0 || total == 0) return rows;

  for (uint32_t i = 0; i < total; ++i) {
    const std::string section = "Item_" + std::to_string(i);
    if (!layout.HasKeys(section)) continue;
    const uint64_t offsetUnits = ParseDecimal(layout.GetString(section, "ItemUnitOffset", "0"), 5);
    const uint64_t units = ParseDecimal(layout.GetString(section, "ItemUnitNum", "0"), 2);
    if (units == 0) continue;
    const bool bigEndian = ParseDecimal(layout.GetString(section, "ItemBigEndian", "0"), 1) != 0;
    const bool text = ParseDecimal(layout.GetString(section, "ItemStringMode", "0"), 1) != 0;

    const uint64_t n64 = units * unitSize;
    const uint64_t offset = offsetUnits * unitSize;
    if (n64 > kIniItemMaxBytes) {
      Note(skipped, section, "item longer than 128 bytes");
      continue;
    }
    if (text && n64 >= kIniItemMaxBytes) {
      Note(skipped, section, "text item leaves no room for its terminating NUL");
      continue;
    }
    if (offset > record.size() || n64 > record.size() - offset) {
      Note(skipped, section, "item lies beyond the end of the record");
      continue;
    }
    const auto n = static_cast<size_t>(n64);

    std::array<uint8_t, kIniItemMaxBytes> work{};
    std::memcpy(work.data(), record.data() + offset, n);
    if (bigEndian && unitSize == 2 && text) {
      for (size_t b = 0; b + 1 < n; b += 2) std::swap(work[b], work[b + 1]);
    } else if (bigEndian && (unitSize == 2 || unitSize == 1)) {
      std::reverse(work.begin(), work.begin() + static_cast<std::ptrdiff_t>(n));
    }
    uint64_t value = 0;
    for (int b = 7; b >= 0; --b) value = (value << 8) | work[static_cast<size_t>(b)];

    const std::string desc = layout.GetString(section, "ItemDesc", "0");
    if (desc != "0") {
      const std::string itemText = text ? std::string(reinterpret_cast<const char*>(work.data()))
                                        : ValueText(value, n);
      if (target == TableTarget::IdentifyTable) {
        rows.push_back({PrintablePrefix(desc), itemText});
      } else if (text) {
        rows.push_back({PrintablePrefix(Cut(desc + " : " + itemText))});
      } else if (n == 1 || n == 2 || n == 4) {
        rows.push_back({PrintablePrefix(Cut(desc + " : " + itemText))});
      } else {
        rows.push_back({itemText});
      }
    }

    if (ParseDecimal(layout.GetString(section, "ItemBitEnable", "0"), 1) != 0) {
      const std::string widths = layout.GetString(section, "BitItemNum", "0");
      const std::string methods = layout.GetString(section, "BitItemMethod", "0");
      if (widths != "0" && methods != "0") {
        DecodeBitFields(rows, layout, section, target, value, n, widths, methods);
      }
    }
  }
  return rows;
}

}  // namespace dozered
