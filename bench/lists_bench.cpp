// The list commands on lists of 100,000 addresses: importing a file of them (read, judged,
// looked up and appended in one transaction) and showing a list, to its first row and whole.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "bench/store_fixtures.h"
#include "lists/list_file.h"
#include "lists/list_operations.h"
#include "store/filter_database.h"
#include "tests/support/program_folder.h"

namespace tervane {
namespace {

constexpr int kAddresses = 100'000;
const TDateTime kToday = EncodeDateTime(2026, 12, 9);

// A plain-text list of kAddresses addresses, each with a name.
const std::string& ListFileText() {
  static const std::string text = [] {
    std::string out = "# exported from another filter\n";
    for (int i = 0; i < kAddresses; ++i)
      out += bench::Address(i) + "\tPerson " + std::to_string(i) + "\n";
    return out;
  }();
  return text;
}

// The file parsed and imported into an empty white list: the work of `tervane-lists import`.
void BM_ImportHundredThousand(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    {
      const testing::ProgramFolder folder;
      FilterDatabase db;
      OpenFilterDatabase(db, folder.dir.path());
      state.ResumeTiming();
      const ImportResult result = ImportEntries(
          db, ListKind::kWhite, ParseListFile(ListFileText(), ListFileFormat::kText), kToday);
      if (result.imported != kAddresses)
        state.SkipWithError("not every address was imported");
      state.PauseTiming();
    }
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kAddresses);
}
BENCHMARK(BM_ImportHundredThousand)->Unit(benchmark::kMillisecond)->Iterations(3);

// Thrown to stop a walk at its first row.
struct FirstRow {};

// `show` on a white list of 100,000 rows: the first row (range 0), and every row searched for a
// text that only one holds (range 1).
void BM_ShowHundredThousand(benchmark::State& state) {
  FilterDatabase db;
  OpenFilterDatabase(db, bench::ProgramFolderWith(kAddresses, 0, 0));
  const bool whole = state.range(0) == 1;
  const std::string match = bench::Address(kAddresses - 1);
  for (auto _ : state) {
    try {
      const size_t rows =
          ForEachListEntry(db, ListKind::kWhite, whole ? match : "", [&](const ListEntry&) {
            if (!whole)
              throw FirstRow{};
          });
      if (rows != 1)
        state.SkipWithError("the search did not find its one row");
    } catch (const FirstRow&) {
    }
  }
  CloseFilterDatabase(db);
}
BENCHMARK(BM_ShowHundredThousand)->ArgName("whole")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tervane
