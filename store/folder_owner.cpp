#include "store/folder_owner.h"

#include "base/fd_io.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "store/compaction_files.h"

namespace tervane {
namespace {

namespace fs = std::filesystem;

constexpr std::chrono::milliseconds kPollInterval{50};

[[noreturn]] void ThrowCannotLock(const fs::path& folder, int error) {
  throw DatabaseError("Cannot lock the folder of the lists \"" + folder.string() +
                      "\": " + std::strerror(error));
}

// The process id written in the lock file, or 0.
pid_t ReadOwner(const fs::path& file) {
  const UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  char text[32] = {};
  const ssize_t got = fd.valid() ? ::pread(fd.get(), text, sizeof text - 1, 0) : -1;
  pid_t pid = 0;
  if (got > 0) {
    std::from_chars(text, text + got, pid);
  }
  return pid;
}

// The lock is what counts; the id is only for the message another instance shows, and is left
// out where the folder cannot be written.
void WriteOwner(const fs::path& file) {
  const UniqueFd fd(
      ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (fd.valid()) {
    [[maybe_unused]] const bool written = WriteAll(fd.get(), std::to_string(::getpid()) + "\n");
  }
}

}  // namespace

FolderInUse::FolderInUse(const fs::path& folder, pid_t owner)
    : DatabaseError("The lists in \"" + folder.string() + "\" are in use by " +
                    (owner > 0 ? "process " + std::to_string(owner) : "another process")),
      owner_(owner) {}

FolderOwner FolderOwner::Acquire(const fs::path& folder, std::chrono::milliseconds wait) {
  UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.valid()) {
    ThrowCannotLock(folder, errno);
  }
  const auto deadline = std::chrono::steady_clock::now() + wait;
  while (RetryOnEintr([&fd] { return ::flock(fd.get(), LOCK_EX | LOCK_NB); }) != 0) {
    if (errno != EWOULDBLOCK) {
      ThrowCannotLock(folder, errno);
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      throw FolderInUse(folder, ReadOwner(folder / kFolderLockFile));
    }
    std::this_thread::sleep_for(kPollInterval);
  }
  WriteOwner(folder / kFolderLockFile);
  return FolderOwner(folder, std::move(fd));
}

void FolderOwner::RemoveCompactionLeftovers() const {
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder_, error)) {
    if (IsCompactionFile(entry.path().filename().string())) {
      fs::remove(entry.path(), error);
    }
  }
}

}  // namespace tervane
