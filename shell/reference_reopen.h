#ifndef TERVANE_SHELL_REFERENCE_REOPEN_H_
#define TERVANE_SHELL_REFERENCE_REOPEN_H_

#include <filesystem>

#include "store/filter_database.h"

namespace tervane {

// The program's answer to update's "reopen-reference" request: update has renamed a new ospam.mdb
// over the old one, and an attached program closes ADOConnection2 and opens it again on the
// file now in databaseFolder, touching nothing else (the next reference lookup sets its query
// afresh, as every lookup does). A detached program has nothing open and does nothing: its next
// attach opens the new file. Returns true iff the connection was open and is open again.
// Throws DatabaseError when the new file cannot be opened; the connection is closed then.
bool ReopenReferenceDatabase(FilterDatabase& db, const std::filesystem::path& databaseFolder);

}  // namespace tervane

#endif  // TERVANE_SHELL_REFERENCE_REOPEN_H_
