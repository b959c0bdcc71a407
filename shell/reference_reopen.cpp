#include "shell/reference_reopen.h"

namespace tervane {

bool ReopenReferenceDatabase(FilterDatabase& db, const std::filesystem::path& databaseFolder) {
  if (!db.ADOConnection2.Connected())
    return false;
  db.ADOConnection2.Close();
  db.ADOConnection2.SetConnectionString(ReferenceConnectionString(databaseFolder));
  db.ADOConnection2.Open();
  return true;
}

}  // namespace tervane
