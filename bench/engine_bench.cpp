// Throughput of the filtering engine over real database files, with messages served from memory.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <optional>

#include "bench/store_fixtures.h"
#include "engine/classification.h"
#include "engine/clock.h"
#include "engine/harvest.h"
#include "engine/marking.h"
#include "engine/spam_reporter.h"
#include "log/decision_log.h"
#include "log/file_decision_log.h"
#include "store/database_maker.h"
#include "store/filter_database.h"
#include "tests/support/fake_mail_store.h"
#include "tests/support/temp_dir.h"

namespace tervane::bench {
namespace {

using testing::FakeMailStore;
using testing::SimpleHeaders;

class NoReporter : public ISpamReporter {
 public:
  void Navigate(const std::string&) override {}
};

class FixedClock : public IClock {
 public:
  TDateTime Today() const override { return EncodeDateTime(2026, 12, 9); }
};

// The decision log as the program keeps it: lines collected and written in batches to a log file
// and to standard error (here a file too), or no log at all.
struct BenchLog {
  explicit BenchLog(bool toFiles) {
    if (toFiles) {
      errors = ::open((folder.path() / "errors.txt").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
      file.emplace(folder.path() / "decisions.log", errors);
      file->SetFlushRequest([] {});
    }
  }
  ~BenchLog() {
    file.reset();
    if (errors >= 0) {
      ::close(errors);
    }
  }
  DecisionLog& log() { return file ? static_cast<DecisionLog&>(*file) : none; }

  testing::TempDir folder;
  int errors = -1;
  std::optional<FileDecisionLog> file;
  NullDecisionLog none;
};

// The engine over a store, database files in folder and the given security level.
struct Engine {
  Engine(const std::filesystem::path& folder, int32_t level, bool logToFiles = false)
      : benchLog(logToFiles) {
    securityLevel.Set(level);
    OpenFilterDatabase(db, folder);
    spamFolderId = store.AddFolder("spam");
  }
  ~Engine() { CloseFilterDatabase(db); }

  FilterDatabase db;
  FakeMailStore store;
  NoReporter reporter;
  FixedClock clock;
  int32_t spamFolderId = 0;
  ProgramSecurityLevel securityLevel;
  BenchLog benchLog;
  DecisionLog& log = benchLog.log();
  FilterContext context{
      store, store, db, reporter, clock, log, spamFolderId, securityLevel, "reports.example"};
};

// Messages from senders on no list, kept at Medium (three lookups) and Low (two), with no decision
// log (log:0) or the program's (log:1).
void BM_ClassifyUnlistedSenders(benchmark::State& state) {
  Engine engine(ProgramFolderWith(10'000, 10'000, 1'000'000), static_cast<int32_t>(state.range(0)),
                state.range(1) != 0);
  constexpr int kMessages = 10'000;
  std::vector<int32_t> ids;
  for (int i = 0; i < kMessages; ++i) {
    ids.push_back(
        engine.store.AddMessage(engine.store.InboxId(), {SimpleHeaders(Address(2'000'000 + i))}));
  }
  std::size_t next = 0;
  for (auto _ : state) {
    ClassifyNewMessage(engine.context, engine.store.InboxId(), ids[next]);
    next = (next + 1) % ids.size();
  }
  if (!engine.store.moves().empty())
    state.SkipWithError("an unlisted sender was moved");
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ClassifyUnlistedSenders)
    ->ArgsProduct({{2, 1}, {0, 1}})
    ->ArgNames({"level", "log"})
    ->MinTime(2.0);

// A sent folder of 100,000 messages, half of them newer than the watermark, written to
// range(0) different people; every run starts from a fresh customer database.
void BM_HarvestSentFolder(benchmark::State& state) {
  const int recipients = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    testing::TempDir folder;
    CreateCustomerDatabase(folder / kCustomerDatabaseFile);
    std::filesystem::copy_file(ProgramFolderWith(0, 0, 0) / kReferenceDatabaseFile,
                               folder / kReferenceDatabaseFile);
    {
      Engine engine(folder.path(), 2);
      RecordCursor& misc = engine.db.ADODataSet1;
      misc.Query(QueryText::kMisc);
      misc.Edit();
      misc.SetFieldAsDateTime("date", EncodeDateTime(2026, 6, 1));
      misc.Post();
      const int32_t sent = engine.store.AddFolder("Sent");
      engine.store.SetSentFolder(sent);
      for (int i = 0; i < 100'000; ++i) {
        const char* date =
            i % 2 ? "Mon, 1 Jun 2026 08:00:00 +0200" : "Tue, 1 Dec 2026 08:00:00 +0200";
        engine.store.AddMessage(
            sent, {SimpleHeaders("me@home.example", Address(i % recipients), date), "", "",
                   "Some Person"});
      }
      state.ResumeTiming();
      HarvestSentRecipients(engine.context);
      state.PauseTiming();
    }
    state.ResumeTiming();
  }
}
BENCHMARK(BM_HarvestSentFolder)
    ->Arg(1'000)
    ->Arg(50'000)
    ->ArgName("recipients")
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Spam on 1,000 selected messages from 1,000 senders.
void BM_MarkThousandAsSpam(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    testing::TempDir folder;
    CreateCustomerDatabase(folder / kCustomerDatabaseFile);
    std::filesystem::copy_file(ProgramFolderWith(0, 0, 0) / kReferenceDatabaseFile,
                               folder / kReferenceDatabaseFile);
    {
      Engine engine(folder.path(), 2);
      std::vector<int32_t> ids;
      for (int i = 0; i < 1'000; ++i) {
        ids.push_back(engine.store.AddMessage(engine.store.InboxId(),
                                              {SimpleHeaders(Address(i)), "Buy now", "Spammer"}));
      }
      engine.store.Select(engine.store.InboxId(), ids);
      state.ResumeTiming();
      MarkSelectedAsSpam(engine.context);
      state.PauseTiming();
    }
    state.ResumeTiming();
  }
}
BENCHMARK(BM_MarkThousandAsSpam)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace tervane::bench
