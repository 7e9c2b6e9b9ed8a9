#include <benchmark/benchmark.h>
#include <memory>
#include "app/app_state.h"
static void BM_AppStateCreate(benchmark::State& s) {
  for (auto _ : s) benchmark::DoNotOptimize(std::make_unique<dozered::AppState>());
}
BENCHMARK(BM_AppStateCreate);
