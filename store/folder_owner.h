#ifndef TERVANE_STORE_FOLDER_OWNER_H_
#define TERVANE_STORE_FOLDER_OWNER_H_

#include <sys/types.h>

#include <chrono>
#include <filesystem>

#include "store/database_error.h"

namespace tervane {

// The lock file beside the database files; compaction and updates replace the databases, never
// this file.
inline constexpr char kFolderLockFile[] = "tervane.lock";

// Another process owns the folder; what() names the folder and the process.
class FolderInUse : public DatabaseError {
 public:
  FolderInUse(const std::filesystem::path& folder, pid_t owner);
  // The owner's process id as it wrote it into the lock file, or 0 when unreadable.
  pid_t owner() const { return owner_; }

 private:
  pid_t owner_;
};

// One program at a time on a folder of database files. The owner holds an advisory lock on the
// folder's kFolderLockFile from before either database is opened until it ends, through every
// attach, detach and compaction. The system drops the lock when the owning process ends in any
// way, so a crash never leaves the folder taken. Movable, not copyable.
class FolderOwner {
 public:
  // Takes folder for this process, waiting up to wait for the present owner to let go. Throws
  // FolderInUse when another process still owns it, and DatabaseError when the lock file cannot
  // be made or locked.
  static FolderOwner Acquire(const std::filesystem::path& folder,
                             std::chrono::milliseconds wait = std::chrono::milliseconds(0));

  FolderOwner(FolderOwner&& other) noexcept;
  FolderOwner& operator=(FolderOwner&& other) noexcept;
  FolderOwner(const FolderOwner&) = delete;
  FolderOwner& operator=(const FolderOwner&) = delete;
  // Lets the folder go.
  ~FolderOwner();

  const std::filesystem::path& folder() const { return folder_; }

  // Removes the files a compaction of this folder left when its process was killed.
  // REQUIRES: called by the owner, before anything of it compacts.
  void RemoveCompactionLeftovers() const;

 private:
  FolderOwner(std::filesystem::path folder, int fd) : folder_(std::move(folder)), fd_(fd) {}

  std::filesystem::path folder_;
  int fd_ = -1;
};

}  // namespace tervane

#endif  // TERVANE_STORE_FOLDER_OWNER_H_
