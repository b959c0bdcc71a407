#include "bench/store_fixtures.h"

#include <sqlcipher/sqlite3.h>

#include <map>
#include <memory>
#include <tuple>

#include "store/database_error.h"
#include "store/database_maker.h"
#include "store/filter_database.h"
#include "store/sqlcipher_file.h"
#include "tests/support/temp_dir.h"

namespace tervane::bench {
namespace {

// Fills a list table in one transaction; through the cursor every row would be its own commit.
void FillList(const std::filesystem::path& customer, const char* table, int rows) {
  sqlcipher::DatabasePtr db = sqlcipher::OpenExisting(customer, kCustomerDatabasePassword);
  sqlcipher::Exec(db.get(), "BEGIN");
  sqlcipher::StatementPtr insert = sqlcipher::Prepare(
      db.get(), std::string("INSERT INTO ") + table +
                    " (mail, name, date, class) VALUES (?1, 'Some Person', 45292.0, 1)");
  for (int i = 0; i < rows; ++i) {
    sqlcipher::ScopedReset reset(insert.get());
    const std::string mail = Address(i);
    sqlite3_bind_text(insert.get(), 1, mail.data(), static_cast<int>(mail.size()),
                      SQLITE_TRANSIENT);
    if (sqlite3_step(insert.get()) != SQLITE_DONE) {
      throw DatabaseError(sqlcipher::ErrorMessage(db.get()));
    }
  }
  sqlcipher::Exec(db.get(), "COMMIT");
}

}  // namespace

std::string Address(int index) {
  static const char* const kNames[] = {"anna", "bob", "chris", "dana", "eve", "frank", "gina"};
  return std::string(kNames[index % 7]) + "." + std::to_string(index) + "@mail" +
         std::to_string(index % 997) + ".example";
}

const std::filesystem::path& ProgramFolderWith(int whiteRows, int blackRows, int referenceRows) {
  static std::map<std::tuple<int, int, int>, std::unique_ptr<testing::TempDir>> folders;
  auto& folder = folders[{whiteRows, blackRows, referenceRows}];
  if (!folder) {
    folder = std::make_unique<testing::TempDir>();
    const auto customer = *folder / kCustomerDatabaseFile;
    CreateCustomerDatabase(customer);
    FillList(customer, "whitetable", whiteRows);
    FillList(customer, "blacktable", blackRows);
    std::vector<std::string> addresses;
    addresses.reserve(static_cast<size_t>(referenceRows));
    for (int i = 0; i < referenceRows; ++i)
      addresses.push_back(Address(i));
    CreateReferenceDatabase(*folder / kReferenceDatabaseFile, addresses);
  }
  return folder->path();
}

}  // namespace tervane::bench
