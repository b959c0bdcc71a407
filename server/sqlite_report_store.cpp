#include "server/sqlite_report_store.h"

#include <sqlcipher/sqlite3.h>

#include <chrono>
#include <string>
#include <thread>

#include "store/database_error.h"
#include "store/sqlcipher_file.h"

namespace tervane {
namespace {

namespace sq = sqlcipher;

// Reports: one row each. The covering index serves the publishing query, which reads every
// report of the window grouped by address, without touching the table.
constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS reports (id INTEGER PRIMARY KEY, address TEXT NOT NULL,"
    " content TEXT NOT NULL, client TEXT NOT NULL, received INTEGER NOT NULL);"
    "CREATE INDEX IF NOT EXISTS reports_by_address"
    " ON reports (address, received, content, client);"
    "CREATE TABLE IF NOT EXISTS versions (version INTEGER PRIMARY KEY,"
    " addresses INTEGER NOT NULL, sha256 TEXT NOT NULL, signature TEXT NOT NULL,"
    " created INTEGER NOT NULL, list BLOB NOT NULL);";

constexpr int kBusyTimeoutMs = 5000;

// While another connection commits (a report, or a new version of several MiB), a writer tries
// again every millisecond, up to kBusyTimeoutMs. SQLite's own wait backs off to 100 ms sleeps,
// which would hold a report's answer up to 100 ms past the commit it waited for.
int RetryEveryMillisecond(void*, int attempts) {
  if (attempts >= kBusyTimeoutMs)
    return 0;
  std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return 1;
}

std::string ColumnText(sqlite3_stmt* statement, int column) {
  const auto* text = static_cast<const char*>(sqlite3_column_blob(statement, column));
  return text == nullptr
             ? std::string()
             : std::string(text, static_cast<size_t>(sqlite3_column_bytes(statement, column)));
}

void BindText(sqlite3_stmt* statement, int index, std::string_view text) {
  sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
}

class SqliteReportStore : public ReportStore {
 public:
  SqliteReportStore(const std::filesystem::path& file, const StoreOptions& options) {
    sqlite3* raw = nullptr;
    const int rc =
        sqlite3_open_v2(file.c_str(), &raw,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    db_.reset(raw);
    if (rc != SQLITE_OK) {
      throw StoreError("cannot open the report database \"" + file.string() +
                       "\": " + (db_ ? sq::ErrorMessage(db_.get()) : sqlite3_errstr(rc)));
    }
    sqlite3_busy_handler(db_.get(), RetryEveryMillisecond, nullptr);
    Run([&] {
      sq::Exec(db_.get(), "PRAGMA journal_mode = WAL");
      sq::Exec(db_.get(), options.syncEachCommit ? "PRAGMA synchronous = FULL"
                                                 : "PRAGMA synchronous = NORMAL");
      sq::Exec(db_.get(), kSchema);
      insertReport_ = sq::Prepare(
          db_.get(), "INSERT INTO reports (address, content, client, received) VALUES (?,?,?,?)");
    });
  }

  void AddReport(const SpamReport& report) override {
    Run([&] {
      sq::ScopedReset reset(insertReport_.get());
      BindText(insertReport_.get(), 1, report.address);
      BindText(insertReport_.get(), 2, report.content);
      BindText(insertReport_.get(), 3, report.client);
      sqlite3_bind_int64(insertReport_.get(), 4, report.received);
      Step(insertReport_.get());
    });
  }

  std::vector<std::string> QualifyingAddresses(const PublishRule& rule) override {
    std::vector<std::string> addresses;
    Run([&] {
      const sq::StatementPtr query =
          sq::Prepare(db_.get(),
                      "SELECT address FROM reports WHERE received >= ?1 GROUP BY address"
                      " HAVING count(DISTINCT content) >= ?2 AND count(DISTINCT client) >= ?3");
      sqlite3_bind_int64(query.get(), 1, rule.since);
      sqlite3_bind_int64(query.get(), 2, rule.minDigests);
      sqlite3_bind_int64(query.get(), 3, rule.minClients);
      while (Step(query.get()))
        addresses.push_back(ColumnText(query.get(), 0));
    });
    return addresses;
  }

  std::vector<std::string> QualifyingDomains(const DomainRule& rule) override {
    std::vector<std::string> domains;
    Run([&] {
      // rtrim drops every byte but '@' from the end: what remains ends at the last '@'.
      const sq::StatementPtr query = sq::Prepare(
          db_.get(),
          "SELECT substr(address, length(rtrim(address, replace(address, '@', ''))) + 1)"
          " FROM reports WHERE received >= ?1 AND instr(address, '@') > 0 GROUP BY 1"
          " HAVING count(DISTINCT address) >= ?2 AND count(DISTINCT client) >= ?3");
      sqlite3_bind_int64(query.get(), 1, rule.since);
      sqlite3_bind_int64(query.get(), 2, rule.minAddresses);
      sqlite3_bind_int64(query.get(), 3, rule.minClients);
      while (Step(query.get()))
        domains.push_back(ColumnText(query.get(), 0));
    });
    return domains;
  }

  std::optional<ReleaseManifest> LatestVersion() override {
    std::optional<ReleaseManifest> latest;
    Run([&] {
      const sq::StatementPtr query =
          sq::Prepare(db_.get(),
                      "SELECT version, addresses, sha256, signature FROM versions"
                      " ORDER BY version DESC LIMIT 1");
      if (Step(query.get())) {
        latest = ReleaseManifest{sqlite3_column_int64(query.get(), 0),
                                 sqlite3_column_int64(query.get(), 1), ColumnText(query.get(), 2),
                                 ColumnText(query.get(), 3)};
      }
    });
    return latest;
  }

  bool AddVersion(const ReleaseManifest& manifest, std::string_view listText, int64_t created,
                  int keepVersions) override {
    bool added = false;
    Run([&] {
      sq::Exec(db_.get(), "BEGIN IMMEDIATE");
      try {
        const sq::StatementPtr insert = sq::Prepare(
            db_.get(),
            "INSERT OR IGNORE INTO versions (version, addresses, sha256, signature, created, list)"
            " VALUES (?,?,?,?,?,?)");
        sqlite3_bind_int64(insert.get(), 1, manifest.version);
        sqlite3_bind_int64(insert.get(), 2, manifest.addressCount);
        BindText(insert.get(), 3, manifest.sha256);
        BindText(insert.get(), 4, manifest.signature);
        sqlite3_bind_int64(insert.get(), 5, created);
        sqlite3_bind_blob64(insert.get(), 6, listText.data(), listText.size(), SQLITE_STATIC);
        Step(insert.get());
        added = sqlite3_changes(db_.get()) == 1;
        const sq::StatementPtr prune =
            sq::Prepare(db_.get(), "DELETE FROM versions WHERE version <= ?");
        sqlite3_bind_int64(prune.get(), 1, manifest.version - keepVersions);
        Step(prune.get());
        sq::Exec(db_.get(), "COMMIT");
      } catch (...) {
        sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
      }
    });
    return added;
  }

  std::optional<std::string> ListText(int64_t version) override {
    std::optional<std::string> text;
    Run([&] {
      const sq::StatementPtr query =
          sq::Prepare(db_.get(), "SELECT list FROM versions WHERE version = ?");
      sqlite3_bind_int64(query.get(), 1, version);
      if (Step(query.get()))
        text = ColumnText(query.get(), 0);
    });
    return text;
  }

  int64_t ReportCount() override {
    int64_t count = 0;
    Run([&] {
      const sq::StatementPtr query = sq::Prepare(db_.get(), "SELECT count(*) FROM reports");
      if (Step(query.get()))
        count = sqlite3_column_int64(query.get(), 0);
    });
    return count;
  }

 private:
  template <typename Body>
  static void Run(Body&& body) {
    TranslateErrors<DatabaseError>("report database: ", std::forward<Body>(body));
  }

  // Steps statement: true for a row, false when done; throws on an error.
  bool Step(sqlite3_stmt* statement) {
    const int rc = sqlite3_step(statement);
    if (rc == SQLITE_ROW)
      return true;
    if (rc == SQLITE_DONE)
      return false;
    throw DatabaseError(sq::ErrorMessage(db_.get()));
  }

  sq::DatabasePtr db_;
  sq::StatementPtr insertReport_;
};

}  // namespace

std::unique_ptr<ReportStore> OpenSqliteReportStore(const std::filesystem::path& file,
                                                   const StoreOptions& options) {
  return std::make_unique<SqliteReportStore>(file, options);
}

}  // namespace tervane
