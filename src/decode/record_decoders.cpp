#include "decode/record_decoders.h"

#include <algorithm>
#include <cstdio>

#include "decode/ini_table.h"

namespace dozered {
namespace {

uint32_t Le(std::span<const uint8_t> data, size_t offset, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) {
    const size_t at = offset + static_cast<size_t>(i);
    v = (v << 8) | (at < data.size() ? data[at] : 0u);
  }
  return v;
}

std::string Format(const char* format, unsigned value) {
  char buf[32];
  std::snprintf(buf, sizeof buf, format, value);
  return buf;
}

}  // namespace

Rows DecodeErrorLog(std::span<const uint8_t> record) {
  struct Field {
    const char* title;
    size_t offset;
    int bytes;
  };
  static constexpr Field kFields[] = {
      {"Read Error Count", 0, 2},  {"AbnorRead Error Count", 2, 2}, {"Write Error Count", 4, 2},
      {"AbnorWrite Error Count", 6, 2}, {"Vdt27 Fail Count", 16, 4}, {"Vdt40 Fail Count", 20, 4},
  };
  Rows rows;
  for (const Field& f : kFields) {
    rows.push_back({f.title, Format(f.bytes == 2 ? "0x%04X" : "0x%08X", Le(record, f.offset, f.bytes))});
  }
  return rows;
}

MarkBadResult DecodeMarkBad(const CardInfo& card, std::span<const uint8_t> record) {
  const unsigned blocksPerCe = card.BlocksPerCe();
  const unsigned ways = card.InterleaveWays();
  MarkBadResult result;
  const auto count = static_cast<int16_t>(Le(record, 0, 2));
  result.TotalCount = std::to_string(count);
  const size_t fit = record.size() < 8 ? 0 : (record.size() - 8) / 8;
  const size_t entries = count <= 0 ? 0 : std::min(static_cast<size_t>(count), fit);

  for (size_t k = 0; k < entries; ++k) {
    const uint8_t* e = record.data() + 8 + 8 * k;
    const unsigned block = e[0] | (e[1] << 8);
    const unsigned word = e[2] | (e[3] << 8);
    const int erase = static_cast<int16_t>(e[4] | (e[5] << 8));
    const uint8_t reason = e[7];
    const unsigned base = blocksPerCe == 0 ? 0u : block / blocksPerCe * ways;
    char eraseText[32];
    std::snprintf(eraseText, sizeof eraseText, "%d(0x%04X)", erase, static_cast<unsigned>(erase));
    const std::string blockText = Format("0x%04X", block);

    if (reason == 0x80) {
      bool first = true;
      for (unsigned h = 0; h < 4; ++h) {
        for (unsigned w = 0; w < 4; ++w) {
          if (((word >> (4 * h + w)) & 1u) == 0) continue;
          result.rows.push_back({first ? blockText : "", "N/A", "Erase Fail",
                                 std::to_string((base + w) % 256), std::to_string(h), "N/A", eraseText});
          first = false;
        }
      }
      continue;
    }
    const char* why = reason == 0xFF ? "Program Fail" : reason == 0x7F ? "Early Retire" : "Read ECC Fail";
    result.rows.push_back({blockText, Format("0x%04X", word & 0x0FFFu), why,
                           std::to_string((base + (word >> 12)) % 256), std::to_string(e[6] >> 4),
                           std::to_string(e[6] & 0x0Fu), eraseText});
  }
  return result;
}

Rows DecodeEraseCountTable(std::span<const uint8_t> table, int16_t startBlock) {
  Rows rows;
  int end = static_cast<int16_t>(Le(table, 16384, 2));
  end = std::min({end, kEraseCountMaxBlocks, static_cast<int>(std::min<size_t>(table.size() / 2, 8192))});
  const int first = std::max<int>(startBlock, 0);
  if (end > first) rows.reserve(static_cast<size_t>(end - first));
  for (int b = first; b < end; ++b) {
    const unsigned entry = table[2 * b] | (table[2 * b + 1] << 8);
    rows.push_back({Format("0x%04X", static_cast<unsigned>(b)),
                    entry == 0xFFFF ? std::string("Bad Block") : Format("0x%04X", entry & 0x7FFFu)});
  }
  return rows;
}

Rows DecodeCid(std::span<const uint8_t> cid, const IniFile* cidTable) {
  if (cidTable == nullptr) return {};
  return DecodeIniTable(cid, *cidTable, TableTarget::CidOption);
}

}  // namespace dozered
