#ifndef TERVANE_SERVER_SQLITE_REPORT_STORE_H_
#define TERVANE_SERVER_SQLITE_REPORT_STORE_H_

// Internal to server/: the report store in a SQLite file (not encrypted: the reports are the
// maker's, not a user's). See report_store.h for the contract.

#include <filesystem>
#include <memory>

#include "server/report_store.h"

namespace tervane {

std::unique_ptr<ReportStore> OpenSqliteReportStore(const std::filesystem::path& file,
                                                   const StoreOptions& options);

}  // namespace tervane

#endif  // TERVANE_SERVER_SQLITE_REPORT_STORE_H_
