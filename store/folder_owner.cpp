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
pid_t ReadOwner(int fd) {
  char text[32] = {};
  const ssize_t got = ::pread(fd, text, sizeof text - 1, 0);
  pid_t pid = 0;
  if (got > 0) {
    std::from_chars(text, text + got, pid);
  }
  return pid;
}

void WriteOwner(int fd) {
  const std::string text = std::to_string(::getpid()) + "\n";
  // The lock is what counts; the id is only for the message another instance shows.
  if (::ftruncate(fd, 0) == 0) {
    [[maybe_unused]] const ssize_t written = ::pwrite(fd, text.data(), text.size(), 0);
  }
}

// Opens (making it when missing) the lock file; read-only where the file cannot be written.
int OpenLockFile(const fs::path& file) {
  int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0 && (errno == EACCES || errno == EROFS)) {
    fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  }
  return fd;
}

}  // namespace

FolderInUse::FolderInUse(const fs::path& folder, pid_t owner)
    : DatabaseError("The lists in \"" + folder.string() + "\" are in use by " +
                    (owner > 0 ? "process " + std::to_string(owner) : "another process")),
      owner_(owner) {}

FolderOwner FolderOwner::Acquire(const fs::path& folder, std::chrono::milliseconds wait) {
  const int fd = OpenLockFile(folder / kFolderLockFile);
  if (fd < 0) {
    ThrowCannotLock(folder, errno);
  }
  FolderOwner owner(folder, fd);  // closes fd on every way out
  const auto deadline = std::chrono::steady_clock::now() + wait;
  while (RetryOnEintr([fd] { return ::flock(fd, LOCK_EX | LOCK_NB); }) != 0) {
    if (errno != EWOULDBLOCK) {
      ThrowCannotLock(folder, errno);
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      throw FolderInUse(folder, ReadOwner(fd));
    }
    std::this_thread::sleep_for(kPollInterval);
  }
  WriteOwner(fd);
  return owner;
}

FolderOwner::FolderOwner(FolderOwner&& other) noexcept
    : folder_(std::move(other.folder_)), fd_(std::exchange(other.fd_, -1)) {}

FolderOwner& FolderOwner::operator=(FolderOwner&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) {
      ::close(fd_);
    }
    folder_ = std::move(other.folder_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

FolderOwner::~FolderOwner() {
  if (fd_ >= 0) {
    ::close(fd_);  // drops the lock
  }
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
