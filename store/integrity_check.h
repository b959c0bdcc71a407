#ifndef TERVANE_STORE_INTEGRITY_CHECK_H_
#define TERVANE_STORE_INTEGRITY_CHECK_H_

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tervane {

// Runs SQLite's integrity check over the whole of file, keyed with password, and returns what
// it found wrong, one entry per problem: empty iff every page reads and authenticates and every
// table and index is consistent.
// Reads what a write-ahead log beside file holds, and writes it back into file when done, as
// any connection that closes last does: check a copy to keep a crashed file as it was.
// REQUIRES: no other connection holds file.
// Throws DatabaseError when file cannot be opened with password.
std::vector<std::string> IntegrityProblems(const std::filesystem::path& file,
                                           std::string_view password);

}  // namespace tervane

#endif  // TERVANE_STORE_INTEGRITY_CHECK_H_
