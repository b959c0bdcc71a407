#include "store/lookup_warmer.h"

#include <sqlcipher/sqlite3.h>

#include <algorithm>
#include <limits>
#include <string>
#include <string_view>

#include "store/connection_core.h"
#include "store/database_error.h"
#include "store/filter_database.h"
#include "store/query_sql.h"
#include "store/sqlcipher_file.h"

namespace tervane {
namespace {

constexpr char kWho[] = "LookupWarmer";
// Entries one step of the in-order read passes: about ten leaves, a tenth of a millisecond while
// they are not cached yet.
constexpr int kRowsPerStep = 1024;
// The in-order read is judged once it has passed this share (1/32) of the rows or this many rows
// (about 350 index pages), when the pages read so far stand for the whole tree.
constexpr int64_t kJudgeAfterShare = 32;
constexpr int64_t kJudgeAfterRows = 32 * kRowsPerStep;
// Upper levels: one sample address per this many pages of the file. An index leaf holds about a
// hundred addresses and the level above it about a hundred leaves, so a file has about one page
// of that level per 175 pages; sampling a little more densely reaches every one of them in a file
// built in index order (as the database maker builds it), and most of them in any other.
constexpr int64_t kPagesPerSample = 128;
constexpr int64_t kMaxSamples = 8192;
constexpr int kSamplesPerStep = 8;

// The key kRowsPerStep entries on from the key ?1, in the order of key (mail: the index's order).
std::string NextInOrderSql(std::string_view table, std::string_view key) {
  const std::string k(key);
  return "SELECT " + k + " FROM " + std::string(table) + " WHERE " + k + " > ?1 ORDER BY " + k +
         " LIMIT 1 OFFSET " + std::to_string(kRowsPerStep - 1);
}

int64_t ReadInteger(ConnectionCore& core, const std::string& sql) {
  sqlite3_stmt* statement = core.Statement(sql, kWho);
  const sqlcipher::ScopedReset reset(statement);
  return sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int64(statement, 0) : 0;
}

int64_t CacheBytes(sqlite3* db) {
  int current = 0;
  int highest = 0;
  sqlite3_db_status(db, SQLITE_DBSTATUS_CACHE_USED, &current, &highest, 0);
  return current;
}

std::string TextOf(sqlite3_stmt* statement) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
  return text != nullptr ? text : "";
}

}  // namespace

// One b-tree that a lookup reads: a list's index, or the table rows a lookup that finds its
// address reads besides.
struct LookupWarmer::Tree {
  enum class Phase { kStart, kInOrder, kUpperLevels, kDone };

  Tree(Connection& connection, QueryText lookup, bool table)
      : connection(&connection), lookup(lookup), table(table) {}

  Connection* connection;
  QueryText lookup;
  bool table;  // the table, read in rowid order; else the index on mail
  Phase phase = Phase::kDone;
  sqlite3* db = nullptr;  // the handle open at Restart
  int64_t rows = 0;       // the highest row identity: about the number of rows
  // In order: the entries passed, the cache they took, the last key reached.
  int64_t passed = 0;
  int64_t grown = 0;
  std::string lastAddress;
  int64_t lastRow = std::numeric_limits<int64_t>::min();
  // Upper levels: the next sample's row identity, the step between samples, samples left.
  int64_t nextRow = 1;
  int64_t rowStep = 1;
  int64_t samplesLeft = 0;

  std::string_view TableName() const { return SqlFor(lookup).table; }

  // One step; returns false once the tree is done.
  bool Step(int64_t cacheBytes) {
    ConnectionCore& core = ConnectionAccess::Core(*connection);
    if (phase == Phase::kDone || core.db.get() != db)
      return false;
    try {
      if (phase == Phase::kStart) {
        rows = ReadInteger(core, LastRowIdSql(TableName()));
        phase = Phase::kInOrder;
      } else if (phase == Phase::kInOrder) {
        ReadOnInOrder(core, cacheBytes);
      } else {
        ReadUpperLevels(core);
      }
    } catch (const DatabaseError&) {
      phase = Phase::kDone;
    }
    return phase != Phase::kDone;
  }

  void ReadOnInOrder(ConnectionCore& core, int64_t cacheBytes) {
    sqlite3_stmt* next =
        core.Statement(NextInOrderSql(TableName(), table ? "rowid" : "mail"), kWho);
    const sqlcipher::ScopedReset reset(next);
    if (table) {
      sqlite3_bind_int64(next, 1, lastRow);
    } else {
      sqlite3_bind_text(next, 1, lastAddress.data(), static_cast<int>(lastAddress.size()),
                        SQLITE_TRANSIENT);
    }
    const int64_t cacheBefore = CacheBytes(db);
    if (sqlite3_step(next) != SQLITE_ROW) {
      phase = Phase::kDone;  // the end of the tree
      return;
    }
    if (table)
      lastRow = sqlite3_column_int64(next, 0);
    else
      lastAddress = TextOf(next);
    const int64_t cacheUsed = CacheBytes(db);
    passed += kRowsPerStep;
    grown += cacheUsed - cacheBefore;
    if (passed < std::min(rows / kJudgeAfterShare, kJudgeAfterRows))
      return;
    // Lookups between two steps may have read pages of this tree already: they count among the
    // others, which this read does not grow. A full cache grows no more, and leaves no room.
    const double whole = static_cast<double>(grown) * rows / passed;
    if (whole + static_cast<double>(cacheUsed - grown) <= static_cast<double>(cacheBytes))
      return;
    if (table) {
      phase = Phase::kDone;  // a table's upper levels are of no use on their own
      return;
    }
    const int64_t pages = ReadInteger(core, "PRAGMA page_count");
    samplesLeft = std::clamp<int64_t>(pages / kPagesPerSample, 1, kMaxSamples);
    rowStep = std::max<int64_t>(1, rows / samplesLeft);
    phase = Phase::kUpperLevels;
  }

  // Looks up the addresses of a few rows at even steps through the table: in a file built in
  // index order, at even steps through the index.
  void ReadUpperLevels(ConnectionCore& core) {
    for (int i = 0; i < kSamplesPerStep; ++i, nextRow += rowStep) {
      std::string address;
      if (samplesLeft-- == 0 || !ReadAddress(core, nextRow, address)) {
        phase = Phase::kDone;
        return;
      }
      sqlite3_stmt* find = core.PageStatement(lookup, kWho);
      const sqlcipher::ScopedReset reset(find);
      sqlite3_bind_int64(find, 1, std::numeric_limits<int64_t>::min());
      sqlite3_bind_int(find, 2, 1);
      sqlite3_bind_text(find, 3, address.data(), static_cast<int>(address.size()), SQLITE_STATIC);
      while (sqlite3_step(find) == SQLITE_ROW) {
      }
    }
  }

  // Reads the address of the first row from row identity row on; false when there is none.
  bool ReadAddress(ConnectionCore& core, int64_t row, std::string& address) {
    sqlite3_stmt* sample = core.Statement(MailFromRowSql(TableName()), kWho);
    const sqlcipher::ScopedReset reset(sample);
    sqlite3_bind_int64(sample, 1, row);
    if (sqlite3_step(sample) != SQLITE_ROW)
      return false;
    address = TextOf(sample);
    return true;
  }
};

const int64_t LookupWarmer::kConnectionCacheBytes = int64_t{sqlcipher::kCacheSizeKiB} * 1024;

// Every message is looked up on the white list, most on the black list too; the table rows are
// read only for the addresses found there, and the reference list's index holds all it reads.
LookupWarmer::LookupWarmer(FilterDatabase& db, int64_t cacheBytes)
    : cacheBytes_(cacheBytes),
      trees_{{db.ADOConnection1, QueryText::kWhiteTableLookup, false},
             {db.ADOConnection1, QueryText::kBlackTableLookup, false},
             {db.ADOConnection2, QueryText::kOfficialSpamLookup, false},
             {db.ADOConnection1, QueryText::kWhiteTableLookup, true},
             {db.ADOConnection1, QueryText::kBlackTableLookup, true}},
      current_(trees_.size()) {}

LookupWarmer::~LookupWarmer() = default;

void LookupWarmer::Restart() {
  for (Tree& tree : trees_) {
    tree = Tree(*tree.connection, tree.lookup, tree.table);
    tree.db = ConnectionAccess::Core(*tree.connection).db.get();
    if (tree.db != nullptr)
      tree.phase = Tree::Phase::kStart;
  }
  current_ = 0;
}

bool LookupWarmer::WarmFor(std::chrono::microseconds slice) {
  const auto end = std::chrono::steady_clock::now() + slice;
  while (current_ < trees_.size()) {
    if (!trees_[current_].Step(cacheBytes_))
      ++current_;
    if (std::chrono::steady_clock::now() >= end)
      break;
  }
  return current_ < trees_.size();
}

}  // namespace tervane
