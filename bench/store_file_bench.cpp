// Opening the filter database (key derivation included) and compacting the customer file.

#include <benchmark/benchmark.h>

#include "bench/store_fixtures.h"
#include "store/filter_database.h"

namespace tervane::bench {
namespace {

void BM_OpenFilterDatabase(benchmark::State& state) {
  const auto& folder = ProgramFolderWith(100, 100, 1000);
  FilterDatabase db;
  for (auto _ : state) {
    benchmark::DoNotOptimize(OpenFilterDatabase(db, folder));
    CloseFilterDatabase(db);
  }
}
BENCHMARK(BM_OpenFilterDatabase)->Unit(benchmark::kMillisecond)->Repetitions(5);

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
