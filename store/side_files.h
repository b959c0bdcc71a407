#ifndef TERVANE_STORE_SIDE_FILES_H_
#define TERVANE_STORE_SIDE_FILES_H_

// Internal to store/: the files SQLite keeps beside a database file (its write-ahead log, the
// log's shared index, its rollback journal), and the checks that keep an open that cannot work
// from leaving any of them behind.

#include <array>
#include <filesystem>
#include <string>
#include <string_view>

namespace tervane {

inline constexpr std::array<std::string_view, 3> kSideFileSuffixes = {"-wal", "-shm", "-journal"};

// file's side file with suffix, e.g. "/p/cust.mdb-wal".
std::filesystem::path SideFile(const std::filesystem::path& file, std::string_view suffix);

// Returns why file cannot be read by this process (e.g. "ospam.mdb cannot be read (Permission
// denied)"), or "" when it can.
std::string WhyUnreadable(const std::filesystem::path& file);

// Returns why file cannot be opened to be read and written by this process: it cannot be read, it
// is read-only, its folder is read-only (the write-ahead log is made there), or its log is
// read-only while it holds changes; or "" when it can. Checked with the effective user, so that
// nothing is created for an open that would fail or silently fall back to reading only.
// Removes side files that an earlier read-only open left unwritable and that hold nothing: an
// empty log, and the log's shared index (never used here, where the index is kept in memory).
std::string PrepareForWriting(const std::filesystem::path& file);

// Notes which side files of a database file exist; RemoveCreated removes those that appeared
// since, so that a failed open leaves the folder as it found it.
class SideFileSnapshot {
 public:
  explicit SideFileSnapshot(const std::filesystem::path& file);
  void RemoveCreated() const;

 private:
  std::filesystem::path file_;
  std::array<bool, kSideFileSuffixes.size()> existed_{};
};

}  // namespace tervane

#endif  // TERVANE_STORE_SIDE_FILES_H_
