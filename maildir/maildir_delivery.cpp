#include "maildir/maildir_delivery.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "base/fd_io.h"
#include "base/unique_fd.h"
#include "mailapi/extension_interface.h"

namespace tervane {
namespace {

constexpr std::string_view kInboxName = "Inbox";

std::string HostName() {
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') {
    return "localhost";
  }
  // '/' and ':' cannot appear in a Maildir file name; the usual escapes stand in for them.
  std::string name;
  for (const char* c = host; *c != '\0'; ++c) {
    if (*c == '/') {
      name += "\\057";
    } else if (*c == ':') {
      name += "\\072";
    } else {
      name += *c;
    }
  }
  return name;
}

[[noreturn]] void Fail(const std::string& what, const std::filesystem::path& path, int error) {
  throw ExtensionError(what + " " + path.string() + ": " + std::strerror(error));
}

}  // namespace

std::filesystem::path MaildirFolderPath(const std::filesystem::path& root,
                                        std::string_view folderName) {
  if (folderName == kInboxName) {
    return root;
  }
  return root / ("." + std::string(folderName));
}

std::string UniqueMaildirName() {
  static std::atomic<unsigned long> counter{0};
  static const std::string host = HostName();
  timeval now{};
  ::gettimeofday(&now, nullptr);
  return std::to_string(now.tv_sec) + ".M" + std::to_string(now.tv_usec) + "P" +
         std::to_string(::getpid()) + "Q" + std::to_string(++counter) + "." + host;
}

std::filesystem::path DeliverMessage(const std::filesystem::path& folderDir,
                                     std::string_view bytes) {
  struct stat info {};
  for (const char* sub : {"tmp", "new"}) {
    const std::filesystem::path dir = folderDir / sub;
    if (::stat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
      throw ExtensionError("not a Maildir folder: " + folderDir.string());
    }
  }
  const std::string name = UniqueMaildirName();
  const std::filesystem::path tmpPath = folderDir / "tmp" / name;
  const std::filesystem::path newPath = folderDir / "new" / name;

  UniqueFd fd(::open(tmpPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (!fd.valid()) {
    Fail("cannot create", tmpPath, errno);
  }
  const bool written = WriteAll(fd.get(), bytes) && ::fsync(fd.get()) == 0;
  const int writeError = errno;
  fd.Reset();
  if (!written) {
    ::unlink(tmpPath.c_str());
    Fail("cannot write", tmpPath, writeError);
  }
  if (::rename(tmpPath.c_str(), newPath.c_str()) != 0) {
    const int renameError = errno;
    ::unlink(tmpPath.c_str());
    Fail("cannot deliver into", newPath.parent_path(), renameError);
  }
  return newPath;
}

}  // namespace tervane
