#ifndef TERVANE_UPDATER_INSTALLED_LIST_H_
#define TERVANE_UPDATER_INSTALLED_LIST_H_

// The reference list in place, as update compares a version with it. It is read from ospam.mdb
// through the store, read-only: a running program that holds the file is neither waited for nor
// disturbed. Reading 1,000,000 addresses takes about a second; update does it on its own thread.
// Addresses are compared in lower case, as the filter's lookups ignore letter case.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tervane {

// What a new list does to the one in place.
struct ListChange {
  int64_t installed = 0;  // addresses in place
  int64_t removed = 0;    // of those, the ones the new list lacks
};

// What next does to the list of folder's ospam.mdb. REQUIRES: next is a published list's
// addresses (lower case, sorted, each once). Throws DatabaseError.
ListChange CompareWithInstalled(const std::filesystem::path& folder,
                                const std::vector<std::string>& next);

// The SHA-256 (64 lower-case hex digits) of the list of folder's ospam.mdb written as a published
// list is (reflist/address_list.h): equal to a version's signed SHA-256 iff the list in place is
// that version's list. Throws DatabaseError.
std::string InstalledListSha256(const std::filesystem::path& folder);

// True iff change removes more than maxPercent of the addresses in place.
bool RemovesTooMany(const ListChange& change, int maxPercent);

}  // namespace tervane

#endif  // TERVANE_UPDATER_INSTALLED_LIST_H_
