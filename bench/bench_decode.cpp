// Throughput of the hex dump and the time to turn a full erase-count table
// into rows.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "decode/hex_dump.h"
#include "decode/record_decoders.h"

namespace dozered {
namespace {

void BM_FormatHexDump64KiB(benchmark::State& state) {
  std::vector<uint8_t> bytes(65536);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 131 + 7);
  std::vector<char> text(kHexDumpMaxTextSize);
  for (auto _ : state) {
    benchmark::DoNotOptimize(FormatHexDump(bytes, text.data(), text.size()));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_FormatHexDump64KiB);

void BM_DecodeFullEraseCountTable(benchmark::State& state) {
  std::vector<uint8_t> table(kEraseCountTableSize, 0);
  for (size_t b = 0; b < 8192; ++b) {
    const unsigned entry = b % 97 == 0 ? 0xFFFF : (b % 5 == 0 ? 0x8000 | b : b) & 0xFFFF;
    table[2 * b] = static_cast<uint8_t>(entry);
    table[2 * b + 1] = static_cast<uint8_t>(entry >> 8);
  }
  table[16384] = 0x00;
  table[16385] = 0x20;  // 8,192 entries
  for (auto _ : state) {
    Rows rows = DecodeEraseCountTable(table, 0);
    benchmark::DoNotOptimize(rows.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 8192);
}
BENCHMARK(BM_DecodeFullEraseCountTable)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace dozered
