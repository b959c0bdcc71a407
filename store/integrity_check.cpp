#include "store/integrity_check.h"

#include <sqlcipher/sqlite3.h>

#include "store/sqlcipher_file.h"

namespace tervane {

std::vector<std::string> IntegrityProblems(const std::filesystem::path& file,
                                           std::string_view password) {
  const sqlcipher::DatabasePtr db = sqlcipher::OpenExisting(file, password);
  const sqlcipher::StatementPtr check = sqlcipher::Prepare(db.get(), "PRAGMA integrity_check");
  std::vector<std::string> found;
  int rc;
  while ((rc = sqlite3_step(check.get())) == SQLITE_ROW) {
    const unsigned char* text = sqlite3_column_text(check.get(), 0);
    found.emplace_back(text != nullptr ? reinterpret_cast<const char*>(text) : "");
  }
  // A page that cannot be read or authenticated ends the check with an error.
  if (rc != SQLITE_DONE) {
    found.push_back(sqlcipher::ErrorMessage(db.get()));
  }
  if (found.size() == 1 && found.front() == "ok") {
    found.clear();
  }
  return found;
}

}  // namespace tervane
