#include <sqlcipher/sqlite3.h>

#include <string>

#include "store/compaction_files.h"
#include "store/database_error.h"
#include "store/filter_database.h"
#include "store/sqlcipher_file.h"
#include "store/temp_file.h"

namespace tervane {
namespace {

// Writes a compacted copy of source, keyed with password, into the existing empty file copy.
void ExportCompacted(const std::filesystem::path& source, const std::filesystem::path& copy,
                     std::string_view password) {
  sqlcipher::DatabasePtr db =
      sqlcipher::OpenExisting(source, password, sqlcipher::Access::kCopySource);
  {
    sqlcipher::StatementPtr attach =
        sqlcipher::Prepare(db.get(), "ATTACH DATABASE ?1 AS compacted KEY ?2");
    const std::string copyName = copy.string();
    sqlite3_bind_text(attach.get(), 1, copyName.data(), static_cast<int>(copyName.size()),
                      SQLITE_STATIC);
    sqlite3_bind_text(attach.get(), 2, password.data(), static_cast<int>(password.size()),
                      SQLITE_STATIC);
    if (sqlite3_step(attach.get()) != SQLITE_DONE) {
      throw DatabaseError(sqlcipher::ErrorMessage(db.get()));
    }
  }
  const std::string settings =
      "PRAGMA compacted.cipher_compatibility = 3;"
      "PRAGMA compacted.cipher_page_size = " +
      std::to_string(sqlcipher::kCipherPageSize) + ";";
  sqlcipher::Exec(db.get(), settings.c_str());
  sqlcipher::Exec(db.get(), "SELECT sqlcipher_export('compacted')");
  sqlcipher::Exec(db.get(), "DETACH DATABASE compacted");
}

}  // namespace

// Unlike copying the compacted data back over the database, the rename below never leaves a
// half-written database: the file is always either the old one or the complete new one.
bool CompactDatabaseFile(FilterDatabase& db, const std::filesystem::path& fileName,
                         std::string_view password) {
  CloseFilterDatabase(db);
  try {
    // A symbolic link is followed, so the link stays and the file it names is replaced.
    const std::filesystem::path target = std::filesystem::canonical(fileName);
    TempFile temp(target.parent_path(), kCompactionFilePrefix);
    ExportCompacted(target, temp.path(), password);
    // The copy opens with the same password.
    sqlcipher::OpenExisting(temp.path(), password, sqlcipher::Access::kReadOnly);
    temp.SetMode(std::filesystem::status(target).permissions());
    temp.Sync();
    // A log beside the file means another process has it open: its log would be applied to the
    // new file at its next open and ruin it, so the file stays as it is.
    std::error_code error;
    if (std::filesystem::exists(target.string() + "-wal", error)) {
      return false;
    }
    temp.ReplaceTarget(target);
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace tervane
