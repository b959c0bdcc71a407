// Lookups through the cursor layer, as classification makes them: query, then presence.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

#include "bench/store_fixtures.h"
#include "store/filter_database.h"

namespace tervane::bench {
namespace {

constexpr int kReferenceRows = 1'000'000;
constexpr int kWhiteRows = 10'000;
// Enough different addresses that the lookups touch most of the reference list's index.
constexpr int kProbes = 100'000;

// Addresses to look up: present ones drawn at random from the first `rows`, or absent ones.
std::vector<std::string> Probes(int rows, bool present) {
  std::mt19937 random(42);
  std::vector<std::string> probes;
  for (int i = 0; i < kProbes; ++i) {
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

void BM_ReferenceLookup(benchmark::State& state) {
  const bool present = state.range(0) != 0;
  FilterDatabase db;
  const auto& folder = ProgramFolderWith(0, 0, kReferenceRows);
  OpenFilterDatabase(db, folder);
  state.counters["file_MiB"] =
      static_cast<double>(std::filesystem::file_size(folder / kReferenceDatabaseFile)) / (1 << 20);
  RunLookups(state, db.ADODataSet2, QueryText::kOfficialSpamLookup, Probes(kReferenceRows, present),
             present);
}
BENCHMARK(BM_ReferenceLookup)->ArgName("present")->Arg(1)->Arg(0)->Repetitions(5);

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
