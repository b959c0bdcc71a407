#ifndef TERVANE_STORE_COMPACTION_FILES_H_
#define TERVANE_STORE_COMPACTION_FILES_H_

// Internal to store/: the names of the files a compaction writes beside the database.

#include <algorithm>
#include <cctype>
#include <string_view>

namespace tervane {

// A compaction exports into "~CP" plus six characters (mkstemp's), beside the database.
inline constexpr std::string_view kCompactionFilePrefix = "~CP";

// True iff name is a compaction's copy, or a journal or log SQLite kept beside one.
inline bool IsCompactionFile(std::string_view name) {
  constexpr size_t kUniqueLength = 6;
  if (!name.starts_with(kCompactionFilePrefix) ||
      name.size() < kCompactionFilePrefix.size() + kUniqueLength) {
    return false;
  }
  const std::string_view unique = name.substr(kCompactionFilePrefix.size(), kUniqueLength);
  const std::string_view suffix = name.substr(kCompactionFilePrefix.size() + kUniqueLength);
  return std::all_of(unique.begin(), unique.end(),
                     [](unsigned char c) { return std::isalnum(c) != 0; }) &&
         (suffix.empty() || suffix == "-journal" || suffix == "-wal" || suffix == "-shm");
}

}  // namespace tervane

#endif  // TERVANE_STORE_COMPACTION_FILES_H_
