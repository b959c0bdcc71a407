#include "store/filter_database.h"

#include "store/connection_string.h"

namespace tervane {

std::string CustomerConnectionString(const std::filesystem::path& programFolder) {
  return MakeConnectionString(programFolder / kCustomerDatabaseFile, kCustomerDatabasePassword);
}

std::string ReferenceConnectionString(const std::filesystem::path& programFolder) {
  return MakeConnectionString(programFolder / kReferenceDatabaseFile, kReferenceDatabasePassword);
}

int32_t OpenFilterDatabase(FilterDatabase& db, const std::filesystem::path& programFolder) {
  db.ADOConnection1.Close();
  db.ADOConnection1.SetConnectionString(CustomerConnectionString(programFolder));
  db.ADOConnection1.Open();
  db.ADOConnection2.Close();
  db.ADOConnection2.SetConnectionString(ReferenceConnectionString(programFolder));
  db.ADOConnection2.Open();
  db.ADODataSet1.Query(QueryText::kMisc);
  return db.ADODataSet1.FieldAsInteger("secureclass");
}

void CloseFilterDatabase(FilterDatabase& db) {
  db.ADOConnection1.Close();
  db.ADOConnection2.Close();
}

}  // namespace tervane
