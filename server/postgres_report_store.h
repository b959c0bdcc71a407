#ifndef TERVANE_SERVER_POSTGRES_REPORT_STORE_H_
#define TERVANE_SERVER_POSTGRES_REPORT_STORE_H_

// Internal to server/: the report store in a PostgreSQL database (libpqxx), shared by any
// number of server processes. See report_store.h for the contract.

#include <memory>
#include <string>

#include "server/report_store.h"

namespace tervane {

std::unique_ptr<ReportStore> OpenPostgresReportStore(const std::string& uri);

}  // namespace tervane

#endif  // TERVANE_SERVER_POSTGRES_REPORT_STORE_H_
