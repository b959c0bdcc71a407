#ifndef TERVANE_STORE_FOLDER_OWNER_H_
#define TERVANE_STORE_FOLDER_OWNER_H_

#include <sys/types.h>

#include <chrono>
#include <filesystem>

#include "base/unique_fd.h"
#include "store/database_error.h"

namespace tervane {

// The file beside the database files that names the owner's process, for the messages of
// another instance.
inline constexpr char kFolderLockFile[] = "tervane.lock";

// Another process owns the folder; what() names the folder and the process.
class FolderInUse : public DatabaseError {
 public:
  FolderInUse(const std::filesystem::path& folder, pid_t owner);
  // The owner's process id as it wrote it into kFolderLockFile, or 0 when unreadable.
  pid_t owner() const { return owner_; }

 private:
  pid_t owner_;
};

// One program at a time on a folder of database files. The owner holds an advisory lock on the
// folder itself from before either database is opened until it ends, through every attach,
// detach and compaction: a lock file could be deleted from under its owner and a second instance
// would lock a new one, but a folder that holds the lists cannot be removed. The system drops the
// lock when the owning process ends in any way, so a crash never leaves the folder taken.
// Movable, not copyable.
class FolderOwner {
 public:
  // Takes folder for this process, waiting up to wait for the present owner to let go. Throws
  // FolderInUse when another process still owns it, and DatabaseError when the folder cannot
  // be opened or locked.
  static FolderOwner Acquire(const std::filesystem::path& folder,
                             std::chrono::milliseconds wait = std::chrono::milliseconds(0));

  FolderOwner(FolderOwner&&) = default;
  FolderOwner& operator=(FolderOwner&&) = default;
  // Lets the folder go.
  ~FolderOwner() = default;

  const std::filesystem::path& folder() const { return folder_; }

  // Removes the files a compaction of this folder left when its process was killed.
  // REQUIRES: called by the owner, before anything of it compacts.
  void RemoveCompactionLeftovers() const;

 private:
  FolderOwner(std::filesystem::path folder, UniqueFd fd)
      : folder_(std::move(folder)), fd_(std::move(fd)) {}

  std::filesystem::path folder_;
  UniqueFd fd_;  // the folder, locked
};

}  // namespace tervane

#endif  // TERVANE_STORE_FOLDER_OWNER_H_
