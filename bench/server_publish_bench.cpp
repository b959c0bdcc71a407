// Publishing a reference-list version of 1,000,000 addresses on a SQLite report store: the
// publishing query over the reports, the sort, the SHA-256, the signature and the stored text.
#include <benchmark/benchmark.h>
#include <sqlcipher/sqlite3.h>

#include <memory>

#include "bench/store_fixtures.h"
#include "reflist/ed25519_keys.h"
#include "server/reference_publisher.h"
#include "server/report_store.h"
#include "tests/support/temp_dir.h"

namespace tervane {
namespace {

constexpr int64_t kNow = 1'800'000'000;

// Writes `reports` rows straight into the reports table in one transaction: two reports, from
// two clients with two digests, for each of reports / 2 addresses.
void FillReports(const std::filesystem::path& file, int reports) {
  sqlite3* db = nullptr;
  sqlite3_open(file.c_str(), &db);
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db,
                     "INSERT INTO reports (address, content, client, received) VALUES (?,?,?,?)",
                     -1, &insert, nullptr);
  for (int i = 0; i < reports; ++i) {
    const std::string address = bench::Address(i / 2);
    const std::string content(32, i % 2 == 0 ? 'A' : 'B');
    const std::string client = i % 2 == 0 ? "192.0.2.1" : "192.0.2.2";
    sqlite3_bind_text(insert, 1, address.data(), static_cast<int>(address.size()),
                      SQLITE_TRANSIENT);
    sqlite3_bind_text(insert, 2, content.data(), 32, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert, 3, client.data(), static_cast<int>(client.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int64(insert, 4, kNow);
    sqlite3_step(insert);
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(db);
}

// Each iteration publishes a list of seedAddresses from the seed and reportedAddresses from
// reports, one address different from the last iteration's, so every iteration makes a version.
void BM_PublishVersion(benchmark::State& state) {
  const int seedAddresses = static_cast<int>(state.range(0));
  const int reportedAddresses = static_cast<int>(state.range(1));
  testing::TempDir folder;
  MakeKeyPair(folder.path());
  const SigningKey key = SigningKey::Load(folder / "update.key");
  const auto database = (folder / "reports.sqlite").string();
  OpenReportStore(database);  // makes the tables
  FillReports(database, 2 * reportedAddresses);
  const std::unique_ptr<ReportStore> store = OpenReportStore(database);
  std::vector<std::string> seed;
  for (int i = 0; i < seedAddresses; ++i)
    seed.push_back("seed-" + bench::Address(i));
  int iteration = 0;
  for (auto _ : state) {
    state.PauseTiming();
    seed.push_back("iteration" + std::to_string(iteration++) + "@bench.example");
    ReferencePublisher publisher(*store, key, seed, PublishSettings{});
    state.ResumeTiming();
    const ReleaseManifest manifest = publisher.Publish(kNow).latest;
    state.counters["addresses"] = static_cast<double>(manifest.addressCount);
    seed.pop_back();
  }
}
BENCHMARK(BM_PublishVersion)
    ->ArgNames({"seed", "reported"})
    ->Args({1'000'000, 0})
    ->Args({0, 1'000'000})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

}  // namespace
}  // namespace tervane
