#include "maildir/maildir_subscriptions.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "base/fd_io.h"
#include "base/unique_fd.h"

namespace tervane {
namespace {

constexpr char kFileName[] = "subscriptions";
constexpr char kLockName[] = "subscriptions.lock";
constexpr std::string_view kVersion2Line = "V\t2\n";
constexpr size_t kMaxFileBytes = 4 * 1024 * 1024;
// Dovecot holds its lock for the moment it rewrites the file, and takes a lock older than half a
// minute for one left by a crash.
constexpr auto kLockWait = std::chrono::milliseconds(500);
constexpr auto kLockPause = std::chrono::milliseconds(10);
constexpr auto kStaleLockAge = std::chrono::seconds(30);

std::string Failure(const std::string& what, int error) {
  return what + ": " + std::strerror(error);
}

// A level of a version-2 name: tab, CR, LF and \001 escaped after \001.
std::string EscapeLevel(std::string_view level) {
  std::string escaped;
  for (const char c : level) {
    switch (c) {
      case '\001':
        escaped += "\0011";
        break;
      case '\t':
        escaped += "\001t";
        break;
      case '\r':
        escaped += "\001r";
        break;
      case '\n':
        escaped += "\001n";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

// The line that lists folderName: in version 2 its Maildir++ levels ("a.b") joined by tabs.
std::string EntryFor(std::string_view folderName, bool version2) {
  if (!version2) {
    return std::string(folderName);
  }
  std::string entry;
  size_t at = 0;
  while (true) {
    const size_t dot = folderName.find('.', at);
    entry += EscapeLevel(folderName.substr(at, dot - at));
    if (dot == std::string_view::npos) {
      return entry;
    }
    entry += '\t';
    at = dot + 1;
  }
}

// The names listed in text (the version line and blank lines left out).
std::vector<std::string_view> ListedNames(std::string_view text, bool version2) {
  if (version2) {
    text.remove_prefix(kVersion2Line.size());
  }
  std::vector<std::string_view> names;
  while (!text.empty()) {
    const size_t end = std::min(text.find('\n'), text.size());
    if (end > 0) {
      names.push_back(text.substr(0, end));
    }
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  return names;
}

// "INBOX" and the separator when every listed name is the inbox or lies under it.
std::string NamespacePrefix(const std::vector<std::string_view>& names, bool version2) {
  const std::string prefix = version2 ? "INBOX\t" : "INBOX.";
  const bool under = std::any_of(names.begin(), names.end(),
                                 [&](std::string_view n) { return n.starts_with(prefix); });
  const bool all = std::all_of(names.begin(), names.end(), [&](std::string_view n) {
    return n == "INBOX" || n.starts_with(prefix);
  });
  return under && all ? prefix : std::string();
}

bool ReadWhole(int fd, std::string& text) {
  char chunk[16 * 1024];
  while (true) {
    const ssize_t got = ReadAt(fd, chunk, sizeof chunk, text.size());
    if (got < 0) {
      return false;
    }
    if (got == 0) {
      return true;
    }
    text.append(chunk, static_cast<size_t>(got));
    if (text.size() > kMaxFileBytes) {
      errno = EFBIG;
      return false;
    }
  }
}

bool IsStale(const std::filesystem::path& lock) {
  struct stat info {};
  if (::lstat(lock.c_str(), &info) != 0) {
    return false;
  }
  const auto modified = std::chrono::system_clock::from_time_t(info.st_mtime);
  return std::chrono::system_clock::now() - modified > kStaleLockAge;
}

// Creates the lock file exclusively, waiting a little for another writer's to go.
UniqueFd TakeLock(const std::filesystem::path& lock, mode_t mode) {
  const auto deadline = std::chrono::steady_clock::now() + kLockWait;
  bool staleRemoved = false;
  while (true) {
    UniqueFd fd(::open(lock.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    if (fd.valid() || errno != EEXIST) {
      return fd;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      if (staleRemoved || !IsStale(lock)) {
        errno = EEXIST;
        return fd;
      }
      ::unlink(lock.c_str());
      staleRemoved = true;
      continue;
    }
    std::this_thread::sleep_for(kLockPause);
  }
}

}  // namespace

std::string SubscribeMaildirFolder(const std::filesystem::path& root, std::string_view folderName) {
  const std::filesystem::path file = root / kFileName;
  const std::filesystem::path lock = root / kLockName;
  struct stat info {};
  if (::lstat(file.c_str(), &info) != 0) {
    return errno == ENOENT ? std::string() : Failure("cannot read " + file.string(), errno);
  }
  if (!S_ISREG(info.st_mode)) {
    return file.string() + " is not a regular file";
  }

  const UniqueFd out = TakeLock(lock, info.st_mode & 0666);
  if (!out.valid()) {
    return errno == EEXIST ? lock.string() + " is held by another program"
                           : Failure("cannot create " + lock.string(), errno);
  }
  const auto fail = [&lock](const std::string& what, int error) {
    ::unlink(lock.c_str());
    return Failure(what, error);
  };

  std::string text;
  const UniqueFd in(::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!in.valid() || !ReadWhole(in.get(), text)) {
    return fail("cannot read " + file.string(), errno);
  }
  const bool version2 = text.starts_with(kVersion2Line);
  const std::vector<std::string_view> names = ListedNames(text, version2);
  const std::string entry = NamespacePrefix(names, version2) + EntryFor(folderName, version2);
  if (std::find(names.begin(), names.end(), entry) != names.end()) {
    ::unlink(lock.c_str());
    return {};
  }

  if (!text.empty() && text.back() != '\n') {
    text += '\n';
  }
  text += entry + '\n';
  if (!WriteAll(out.get(), text) || ::fchmod(out.get(), info.st_mode & 07777) != 0 ||
      ::fsync(out.get()) != 0) {
    return fail("cannot write " + lock.string(), errno);
  }
  if (::rename(lock.c_str(), file.c_str()) != 0) {
    return fail("cannot replace " + file.string(), errno);
  }
  return {};
}

}  // namespace tervane
