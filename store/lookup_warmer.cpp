#include "store/lookup_warmer.h"

#include <sqlcipher/sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "store/database_error.h"
#include "store/query_sql.h"

namespace tervane {
namespace {

// Below this many pages (16 MiB) a file is not warmed.
constexpr int64_t kMinimumPages = 4096;
// One sample address per this many pages of the file. An index leaf holds about a hundred
// addresses and the level above it about a hundred leaves, so a file has about one page of that
// level per 175 pages; sampling a little more densely reaches every one of them in a file built
// in index order (as the database maker builds it), and most of them in any other.
constexpr int64_t kPagesPerSample = 128;
constexpr int64_t kMaxSamples = 8192;

int64_t ReadInteger(sqlite3* db, const std::string& sql) {
  const sqlcipher::StatementPtr statement = sqlcipher::Prepare(db, sql);
  return sqlite3_step(statement.get()) == SQLITE_ROW ? sqlite3_column_int64(statement.get(), 0) : 0;
}

// The mail values of about count rows at even steps through table, sorted in index order.
std::vector<std::string> SampleAddresses(sqlite3* db, std::string_view table, int64_t count) {
  const int64_t last = ReadInteger(db, LastRowIdSql(table));
  const int64_t step = std::max<int64_t>(1, last / count);
  const sqlcipher::StatementPtr sample = sqlcipher::Prepare(db, MailFromRowSql(table));
  std::vector<std::string> addresses;
  for (int64_t row = 1; row <= last && static_cast<int64_t>(addresses.size()) < count;
       row += step) {
    const sqlcipher::ScopedReset reset(sample.get());
    sqlite3_bind_int64(sample.get(), 1, row);
    if (sqlite3_step(sample.get()) == SQLITE_ROW) {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(sample.get(), 0));
      addresses.emplace_back(text != nullptr ? text : "");
    }
  }
  std::sort(addresses.begin(), addresses.end(), NoCaseLess);
  return addresses;
}

}  // namespace

void WarmLookups(ConnectionCore& connection, QueryText query) {
  sqlite3* db = connection.db.get();
  try {
    const int64_t pages = ReadInteger(db, "PRAGMA page_count");
    if (pages < kMinimumPages)
      return;
    const std::vector<std::string> addresses =
        SampleAddresses(db, SqlFor(query).table, std::min(pages / kPagesPerSample, kMaxSamples));
    sqlite3_stmt* lookup = connection.PageStatement(query, "");
    for (const std::string& address : addresses) {
      const sqlcipher::ScopedReset reset(lookup);
      sqlite3_bind_int64(lookup, 1, std::numeric_limits<int64_t>::min());
      sqlite3_bind_int(lookup, 2, 1);
      sqlite3_bind_text(lookup, 3, address.data(), static_cast<int>(address.size()), SQLITE_STATIC);
      while (sqlite3_step(lookup) == SQLITE_ROW) {
      }
    }
  } catch (const DatabaseError&) {
  }
}

}  // namespace tervane
