#ifndef TERVANE_STORE_FILTER_DATABASE_H_
#define TERVANE_STORE_FILTER_DATABASE_H_

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "store/connection.h"
#include "store/record_cursor.h"

namespace tervane {

inline constexpr std::string_view kCustomerDatabaseFile = "cust.mdb";
inline constexpr std::string_view kReferenceDatabaseFile = "ospam.mdb";
inline constexpr std::string_view kCustomerDatabasePassword = "lorimand";
inline constexpr std::string_view kReferenceDatabasePassword = "kd503817";

// The filter database's connections and cursors, as the main window owns them.
struct FilterDatabase {
  Connection ADOConnection1;                               // cust.mdb: whitetable, blacktable, misc
  Connection ADOConnection2{Connection::Mode::kReadOnly};  // ospam.mdb: officialspam (only read)
  RecordCursor ADODataSet1{"ADODataSet1", ADOConnection1};  // lookups, appends, misc
  RecordCursor ADODataSet2{"ADODataSet2", ADOConnection2};  // reference-list lookups
  RecordCursor ADODataSet3{"ADODataSet3", ADOConnection1};  // settings window: white list
  RecordCursor ADODataSet4{"ADODataSet4", ADOConnection1};  // settings window: black list
};

// The connection strings of the two files in programFolder.
std::string CustomerConnectionString(const std::filesystem::path& programFolder);
std::string ReferenceConnectionString(const std::filesystem::path& programFolder);

// Opens both connections on the files in programFolder (cust.mdb read/write, ospam.mdb only read)
// and returns misc.secureclass of the first misc row, unchanged (the caller stores it as the
// security level). Reads nothing ahead for the lookups (LookupWarmer does, a slice at a time).
// Throws DatabaseError naming the file and the cause; a failure opening cust.mdb leaves
// ADOConnection2 untouched.
int32_t OpenFilterDatabase(FilterDatabase& db, const std::filesystem::path& programFolder);

// Closes ADOConnection1, then ADOConnection2; afterwards neither file is held open.
void CloseFilterDatabase(FilterDatabase& db);

// Closes the filter database, then rewrites fileName (keyed with password) into a fresh file
// beside it and replaces fileName with it atomically. Returns true iff the file was replaced;
// on any failure fileName is left byte for byte as it was and no temporary file remains.
// Never throws.
bool CompactDatabaseFile(FilterDatabase& db, const std::filesystem::path& fileName,
                         std::string_view password);

}  // namespace tervane

#endif  // TERVANE_STORE_FILTER_DATABASE_H_
