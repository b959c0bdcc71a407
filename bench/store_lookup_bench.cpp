// Lookups through the cursor layer, as classification makes them: query, then presence.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <vector>

#include "bench/store_fixtures.h"
#include "store/filter_database.h"
#include "store/lookup_warmer.h"

namespace tervane::bench {
namespace {

constexpr int kWhiteRows = 10'000;
// Enough different addresses that the lookups touch most of the reference list's index.
constexpr int kProbes = 100'000;

// Addresses to look up: present ones drawn at random from the first `rows`, or absent ones.
std::vector<std::string> Probes(int rows, bool present, int count = kProbes, unsigned seed = 42) {
  std::mt19937 random(seed);
  std::vector<std::string> probes;
  for (int i = 0; i < count; ++i) {
    const int index = static_cast<int>(random() % static_cast<unsigned>(rows));
    probes.push_back(present ? Address(index) : Address(index + rows));
  }
  return probes;
}

void RunLookups(benchmark::State& state, RecordCursor& cursor, QueryText query,
                const std::vector<std::string>& probes, bool present) {
  for (const auto& probe : probes)
    cursor.Query(query, probe);  // warm the page cache
  size_t next = 0;
  for (auto _ : state) {
    cursor.Query(query, probes[next]);
    if (cursor.IsEmpty() == present)
      state.SkipWithError("wrong lookup result");
    next = (next + 1) % probes.size();
  }
}

double FileMiB(const std::filesystem::path& folder) {
  return static_cast<double>(std::filesystem::file_size(folder / kReferenceDatabaseFile)) /
         (1 << 20);
}

// Lookups once the page cache holds what the probes touched: for 1,000,000 rows the whole index,
// for 5,000,000 rows (a 48 MiB cache for a larger index) about a quarter of its leaves.
void BM_ReferenceLookup(benchmark::State& state) {
  const bool present = state.range(0) != 0;
  const int rows = static_cast<int>(state.range(1));
  FilterDatabase db;
  const auto& folder = ProgramFolderWith(0, 0, rows);
  OpenFilterDatabase(db, folder);
  state.counters["file_MiB"] = FileMiB(folder);
  RunLookups(state, db.ADODataSet2, QueryText::kOfficialSpamLookup, Probes(rows, present), present);
}
BENCHMARK(BM_ReferenceLookup)
    ->ArgNames({"present", "rows"})
    ->Args({1, 1'000'000})
    ->Args({0, 1'000'000})
    ->Args({1, 5'000'000})
    ->Args({0, 5'000'000})
    ->Repetitions(5);

// The first lookups after the database is opened (each iteration opens it afresh, untimed), of
// listed addresses at random, other ones in each iteration: to compare with BM_ReferenceLookup's
// present:1 rows. warmed:1 lets LookupWarmer finish first (untimed), as the program does while it
// waits for mail after the attach.
constexpr int kFirstLookups = 1'000;

void BM_FirstReferenceLookups(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  const bool warmed = state.range(1) != 0;
  const auto& folder = ProgramFolderWith(0, 0, rows);
  FilterDatabase db;
  LookupWarmer warmer(db);
  unsigned seed = 1;
  for (auto _ : state) {
    state.PauseTiming();
    CloseFilterDatabase(db);
    OpenFilterDatabase(db, folder);
    warmer.Restart();
    while (warmed && warmer.WarmFor(std::chrono::seconds(1))) {
    }
    const std::vector<std::string> probes = Probes(rows, true, kFirstLookups, seed++);
    state.ResumeTiming();
    for (const auto& probe : probes) {
      db.ADODataSet2.Query(QueryText::kOfficialSpamLookup, probe);
      if (db.ADODataSet2.IsEmpty())
        state.SkipWithError("wrong lookup result");
    }
  }
  state.counters["file_MiB"] = FileMiB(folder);
  state.counters["per_lookup"] =
      benchmark::Counter(static_cast<double>(state.iterations() * kFirstLookups),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_FirstReferenceLookups)
    ->ArgNames({"rows", "warmed"})
    ->ArgsProduct({{1'000'000, 5'000'000}, {0, 1}})
    ->Iterations(10)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond);

// Warming the lookups of a freshly opened database to the end (the work the program does from its
// event loop after the attach), with the reference list alone.
void BM_WarmLookups(benchmark::State& state) {
  const auto& folder = ProgramFolderWith(0, 0, static_cast<int>(state.range(0)));
  FilterDatabase db;
  LookupWarmer warmer(db);
  for (auto _ : state) {
    state.PauseTiming();
    CloseFilterDatabase(db);
    OpenFilterDatabase(db, folder);
    state.ResumeTiming();
    warmer.Restart();
    while (warmer.WarmFor(std::chrono::seconds(1))) {
    }
  }
}
BENCHMARK(BM_WarmLookups)
    ->ArgName("rows")
    ->Arg(1'000'000)
    ->Arg(5'000'000)
    ->Iterations(3)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond);

void BM_WhiteListLookup(benchmark::State& state) {
  const bool present = state.range(0) != 0;
  FilterDatabase db;
  OpenFilterDatabase(db, ProgramFolderWith(kWhiteRows, 0, 0));
  RunLookups(state, db.ADODataSet1, QueryText::kWhiteTableLookup, Probes(kWhiteRows, present),
             present);
}
BENCHMARK(BM_WhiteListLookup)->ArgName("present")->Arg(1)->Arg(0)->Repetitions(5);

}  // namespace
}  // namespace tervane::bench
