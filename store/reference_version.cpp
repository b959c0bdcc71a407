#include "store/reference_version.h"

#include <sqlcipher/sqlite3.h>

#include <system_error>

#include "store/database_error.h"
#include "store/database_maker.h"
#include "store/filter_database.h"
#include "store/folder_owner.h"
#include "store/sqlcipher_file.h"
#include "store/temp_file.h"

namespace tervane {

void SetReferenceListVersion(const std::filesystem::path& file, int32_t version) {
  const sqlcipher::DatabasePtr db = sqlcipher::OpenExisting(file, kReferenceDatabasePassword);
  sqlcipher::Exec(db.get(), ("PRAGMA user_version = " + std::to_string(version)).c_str());
}

void ReplaceReferenceDatabase(const std::filesystem::path& folder,
                              const std::vector<std::string>& addresses, int32_t version) {
  // The temporary file only reserves a unique name: the maker makes the database there itself.
  TempFile temp(folder, "~UP");
  std::error_code error;
  std::filesystem::remove(temp.path(), error);
  CreateReferenceDatabase(temp.path(), addresses);
  SetReferenceListVersion(temp.path(), version);
  temp.Sync();
  // A write-ahead log beside the old file belongs to it. While a program owns the folder the log
  // is that program's, and goes when it closes the old file. With no owner it is what a killed
  // program left, and SQLite would replay it into the new file: it goes with the old file.
  std::optional<FolderOwner> owner;
  try {
    owner = FolderOwner::Acquire(folder);
  } catch (const DatabaseError&) {
    // FolderInUse: the program's own log. Any other failure: leave the log to its owner too.
  }
  const std::filesystem::path target = folder / kReferenceDatabaseFile;
  temp.ReplaceTarget(target);
  if (owner) {
    for (const char* suffix : {"-wal", "-shm"})
      std::filesystem::remove(target.string() + suffix, error);
  }
}

std::optional<ReferenceListInfo> ReadReferenceListInfo(const std::filesystem::path& file) {
  try {
    TempFile copy(std::filesystem::temp_directory_path(), "tervane-reference-");
    std::error_code error;
    if (!std::filesystem::copy_file(file, copy.path(),
                                    std::filesystem::copy_options::overwrite_existing, error))
      return std::nullopt;
    const sqlcipher::DatabasePtr db =
        sqlcipher::OpenExisting(copy.path(), kReferenceDatabasePassword);
    ReferenceListInfo info;
    const sqlcipher::StatementPtr version = sqlcipher::Prepare(db.get(), "PRAGMA user_version");
    if (sqlite3_step(version.get()) == SQLITE_ROW)
      info.version = sqlite3_column_int(version.get(), 0);
    const sqlcipher::StatementPtr count =
        sqlcipher::Prepare(db.get(), "SELECT count(*) FROM officialspam");
    if (sqlite3_step(count.get()) != SQLITE_ROW)
      return std::nullopt;
    info.addresses = sqlite3_column_int64(count.get(), 0);
    return info;
  } catch (const DatabaseError&) {
    return std::nullopt;
  }
}

}  // namespace tervane
