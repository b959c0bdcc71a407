#ifndef TERVANE_TESTS_SERVER_STORE_BACKENDS_H_
#define TERVANE_TESTS_SERVER_STORE_BACKENDS_H_

// The two kinds of report store, for typed tests that run the same cases against both: each
// gives a fresh, empty database (a SQLite file in a temporary folder, or a new database on the
// tests' PostgreSQL) that every store opened on it shares.

#include <gtest/gtest.h>

#include <string>

#include "tests/server/postgres_instance.h"
#include "tests/support/temp_dir.h"

namespace tervane::testing {

struct SqliteBackend {
  TempDir folder;
  // The database name for OpenReportStore; empty (with *skipReason) when there is none.
  std::string Database(std::string*) { return (folder / "reports.sqlite").string(); }
};

struct PostgresBackend {
  std::string Database(std::string* skipReason) { return FreshPostgresDatabase(skipReason); }
};

using StoreBackends = ::testing::Types<SqliteBackend, PostgresBackend>;

// A typed test's base: a fresh database of its backend in database_, or the case skipped with
// the reason when the backend has none.
template <typename Backend>
class BackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string reason;
    database_ = backend_.Database(&reason);
    if (database_.empty())
      GTEST_SKIP() << reason;
  }

  Backend backend_;
  std::string database_;
};

class BackendNames {
 public:
  template <typename T>
  static std::string GetName(int) {
    return std::is_same_v<T, SqliteBackend> ? "Sqlite" : "Postgres";
  }
};

}  // namespace tervane::testing

#endif  // TERVANE_TESTS_SERVER_STORE_BACKENDS_H_
