#include "store/database_maker.h"

#include <sqlcipher/sqlite3.h>

#include <algorithm>
#include <functional>
#include <string_view>
#include <system_error>

#include "store/database_error.h"
#include "store/filter_database.h"
#include "store/query_sql.h"
#include "store/sqlcipher_file.h"
#include "store/temp_file.h"

namespace tervane {
namespace {

// whitetable and blacktable: id is the row identity; every mail column is NOCASE and indexed.
constexpr const char* kCustomerSchema =
    "CREATE TABLE whitetable (id INTEGER PRIMARY KEY, mail TEXT COLLATE NOCASE, name TEXT,"
    " date REAL, class INTEGER);"
    "CREATE INDEX whitetable_mail ON whitetable (mail);"
    "CREATE TABLE blacktable (id INTEGER PRIMARY KEY, mail TEXT COLLATE NOCASE, name TEXT,"
    " date REAL, class INTEGER);"
    "CREATE INDEX blacktable_mail ON blacktable (mail);"
    "CREATE TABLE misc (id INTEGER PRIMARY KEY, secureclass INTEGER, spamnumber INTEGER,"
    " number INTEGER, date REAL);"
    "INSERT INTO misc (id, secureclass, spamnumber, number, date) VALUES (1, 2, 0, 0, NULL);";

// The unique index serves the lookups and keeps each address once, whatever its letter case.
constexpr const char* kReferenceSchema =
    "CREATE TABLE officialspam (mail TEXT COLLATE NOCASE);"
    "CREATE UNIQUE INDEX officialspam_mail ON officialspam (mail);";

// Builds a new database file under a temporary name beside file, then puts it in place.
void CreateDatabaseFile(const std::filesystem::path& file, std::string_view password,
                        const std::function<void(sqlite3*)>& fill) {
  try {
    std::error_code error;
    if (std::filesystem::exists(std::filesystem::symlink_status(file, error))) {
      throw DatabaseError("the file already exists");
    }
    TempFile temp(file.has_parent_path() ? file.parent_path() : ".", "~MK");
    {
      sqlcipher::DatabasePtr db = sqlcipher::CreateNew(temp.path(), password);
      sqlcipher::Exec(db.get(), "BEGIN");
      fill(db.get());
      sqlcipher::Exec(db.get(), "COMMIT");
    }
    temp.Sync();
    temp.PublishNew(file);
  } catch (const DatabaseError& e) {
    throw DatabaseError("Cannot create database file \"" + file.string() + "\": " + e.what());
  }
}

}  // namespace

void CreateCustomerDatabase(const std::filesystem::path& file) {
  CreateDatabaseFile(file, kCustomerDatabasePassword,
                     [](sqlite3* db) { sqlcipher::Exec(db, kCustomerSchema); });
}

void CreateReferenceDatabase(const std::filesystem::path& file,
                             const std::vector<std::string>& addresses) {
  // Rows go in in index order, so that rows at even steps through the table are addresses at even
  // steps through the index (see lookup_warmer.h). The sort is stable: of addresses that differ
  // only in letter case, the first listed is kept, as in list order.
  std::vector<std::string_view> ordered(addresses.begin(), addresses.end());
  std::stable_sort(ordered.begin(), ordered.end(), NoCaseLess);
  CreateDatabaseFile(file, kReferenceDatabasePassword, [&ordered](sqlite3* db) {
    sqlcipher::Exec(db, kReferenceSchema);
    sqlcipher::StatementPtr insert =
        sqlcipher::Prepare(db, "INSERT OR IGNORE INTO officialspam (mail) VALUES (?1)");
    for (const std::string_view address : ordered) {
      if (address.empty())
        continue;
      sqlcipher::ScopedReset reset(insert.get());
      sqlite3_bind_text(insert.get(), 1, address.data(), static_cast<int>(address.size()),
                        SQLITE_STATIC);
      if (sqlite3_step(insert.get()) != SQLITE_DONE) {
        throw DatabaseError(sqlcipher::ErrorMessage(db));
      }
    }
  });
}

std::vector<std::string> ParseAddressList(std::istream& in) {
  std::vector<std::string> addresses;
  std::string line;
  while (std::getline(in, line)) {
    const size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line[first] == '#')
      continue;
    const size_t last = line.find_last_not_of(" \t\r");
    addresses.push_back(line.substr(first, last - first + 1));
  }
  return addresses;
}

}  // namespace tervane
