#include "tests/support/program_folder.h"

#include <sqlcipher/sqlite3.h>

#include <algorithm>

#include "store/connection_core.h"
#include "store/database_maker.h"
#include "store/transaction.h"

namespace tervane::testing {

ProgramFolder::ProgramFolder(const std::vector<std::string>& referenceList) {
  CreateCustomerDatabase(customer());
  CreateReferenceDatabase(reference(), referenceList);
}

std::vector<std::string> MadeUpAddresses(const std::string& prefix, int count) {
  std::vector<std::string> addresses;
  for (int i = 0; i < count; ++i)
    addresses.push_back(prefix + std::to_string(i) + "@" + prefix + ".example");
  return addresses;
}

void AddToList(const ProgramFolder& folder, QueryText list,
               const std::vector<std::string>& addresses) {
  FilterDatabase db;
  OpenFilterDatabase(db, folder.dir.path());
  Transaction transaction(db.ADOConnection1);
  db.ADODataSet1.Query(list);
  for (const std::string& address : addresses) {
    db.ADODataSet1.Append();
    db.ADODataSet1.SetFieldAsString("mail", address);
    db.ADODataSet1.Post();
  }
  transaction.Commit();
}

int PagesRead(Connection& connection) {
  int misses = 0;
  int highest = 0;
  sqlite3_db_status(ConnectionAccess::Core(connection).db.get(), SQLITE_DBSTATUS_CACHE_MISS,
                    &misses, &highest, 0);
  return misses;
}

void CopyProgramFolder(const std::filesystem::path& from, const std::filesystem::path& to) {
  for (std::string_view name : {kCustomerDatabaseFile, kReferenceDatabaseFile}) {
    std::filesystem::copy_file(from / name, to / name);
    // Changes committed but not yet written back into the file live in its write-ahead log.
    const std::string log = std::string(name) + "-wal";
    if (std::filesystem::exists(from / log))
      std::filesystem::copy_file(from / log, to / log);
  }
}

int OpenDescriptorsTo(const std::filesystem::path& file) {
  const auto target = std::filesystem::canonical(file);
  int count = 0;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
    const auto link = std::filesystem::read_symlink(entry.path(), error);
    if (!error && link == target)
      ++count;
  }
  return count;
}

std::vector<std::string> FileNames(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace tervane::testing
