#include "server/report_store.h"

#include "server/postgres_report_store.h"
#include "server/sqlite_report_store.h"

namespace tervane {

bool IsPostgresAddress(std::string_view database) {
  return database.starts_with("postgresql://") || database.starts_with("postgres://");
}

std::unique_ptr<ReportStore> OpenReportStore(const std::string& database,
                                             const StoreOptions& options) {
  if (IsPostgresAddress(database))
    return OpenPostgresReportStore(database);
  return OpenSqliteReportStore(database, options);
}

}  // namespace tervane
