#ifndef TERVANE_STORE_REFERENCE_VERSION_H_
#define TERVANE_STORE_REFERENCE_VERSION_H_

// The version of the reference list an ospam.mdb holds, kept in the file's own header
// (SQLite's user_version, which every open of the store writes back unchanged), so that the
// number and the list are always replaced together. A file made by tervane-mkdb holds version 0.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tervane {

struct ReferenceListInfo {
  int32_t version = 0;
  int64_t addresses = 0;  // rows of officialspam
};

// Writes version into the reference database file. REQUIRES: nobody else has the file open (a
// file just made, not yet in place). Throws DatabaseError.
void SetReferenceListVersion(const std::filesystem::path& file, int32_t version);

// Builds a new reference database of addresses stamped with version under a temporary name in
// folder, then renames it over folder/ospam.mdb: the file there is always either the old or the
// complete new one, and on any failure (a full disk, a folder that cannot be written) the old
// file is left as it was and no temporary file remains. A program that holds the old file open
// goes on reading it until it reopens; when no program owns the folder, a log a killed program
// left beside the old file goes with it. Throws DatabaseError naming the step and the reason.
void ReplaceReferenceDatabase(const std::filesystem::path& folder,
                              const std::vector<std::string>& addresses, int32_t version);

// The version and size of the reference database file, read from a private copy of it in the
// system's temporary folder, so a running program that holds the file locked is neither waited
// for nor disturbed. Nothing when the file is missing or cannot be read as a reference database.
std::optional<ReferenceListInfo> ReadReferenceListInfo(const std::filesystem::path& file);

}  // namespace tervane

#endif  // TERVANE_STORE_REFERENCE_VERSION_H_
