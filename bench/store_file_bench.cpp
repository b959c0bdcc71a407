// Opening the filter database (key derivation included) and compacting the customer file.

#include <benchmark/benchmark.h>

#include "bench/store_fixtures.h"
#include "store/filter_database.h"

namespace tervane::bench {
namespace {

// The store's share of the start to attached: both files opened, key derivation included (the
// lookups are warmed after the attach: BM_WarmLookups).
void BM_OpenFilterDatabase(benchmark::State& state) {
  const auto& folder = ProgramFolderWith(100, 100, static_cast<int>(state.range(0)));
  FilterDatabase db;
  for (auto _ : state) {
    benchmark::DoNotOptimize(OpenFilterDatabase(db, folder));
    state.PauseTiming();
    CloseFilterDatabase(db);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_OpenFilterDatabase)
    ->ArgName("reference")
    ->Arg(1'000)
    ->Arg(5'000'000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5);

// 100,000 list rows: 60,000 white, 40,000 black.
void BM_CompactCustomerDatabase(benchmark::State& state) {
  const auto customer = ProgramFolderWith(60'000, 40'000, 0) / kCustomerDatabaseFile;
  FilterDatabase db;
  for (auto _ : state) {
    if (!CompactDatabaseFile(db, customer, kCustomerDatabasePassword)) {
      state.SkipWithError("compaction failed");
    }
  }
}
BENCHMARK(BM_CompactCustomerDatabase)->Unit(benchmark::kMillisecond)->Repetitions(3);

}  // namespace
}  // namespace tervane::bench
