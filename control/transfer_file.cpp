#include "control/transfer_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "base/fd_io.h"
#include "base/unique_fd.h"
#include "base/xdg_dirs.h"

namespace tervane {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void Fail(const fs::path& file, std::string_view what, int error = 0) {
  std::string message = "transfer file \"" + file.string() + "\": " + std::string(what);
  if (error != 0)
    message += std::string(": ") + std::strerror(error);
  throw TransferError(message);
}

// Opens a transfer file the other side made, and checks it is a private file of this user.
UniqueFd OpenTransferFile(const fs::path& file, int access) {
  if (!file.is_absolute())
    Fail(file, "not an absolute path");
  // O_NONBLOCK: opening a FIFO put in its place must not wait for a writer.
  UniqueFd fd(::open(file.c_str(), access | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid())
    Fail(file, errno == ELOOP ? "a symbolic link" : "cannot open", errno == ELOOP ? 0 : errno);
  struct stat status {};
  if (::fstat(fd.get(), &status) != 0)
    Fail(file, "cannot inspect", errno);
  if (!S_ISREG(status.st_mode))
    Fail(file, "not a regular file");
  if (status.st_uid != ::geteuid())
    Fail(file, "belongs to another user");
  if ((status.st_mode & (S_IRWXG | S_IRWXO)) != 0)
    Fail(file, "others may read or write it");
  return fd;
}

void WriteWhole(int fd, std::string_view content, const fs::path& file) {
  if (!WriteAll(fd, content))
    Fail(file, "cannot write", errno);
}

}  // namespace

TransferFolder::TransferFolder() {
  std::error_code error;
  fs::path base = XdgRuntimeFolder().value_or(fs::temp_directory_path(error));
  if (base.empty())
    base = "/tmp";
  std::string pattern = (base / "tervane-transfer-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr)  // made with mode 0700
    Fail(pattern, "cannot make a private folder", errno);
  path_ = pattern;
}

TransferFolder::~TransferFolder() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

fs::path TransferFolder::NewFile(std::string_view name, std::string_view content) const {
  const fs::path file = path_ / name;
  UniqueFd fd(::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!fd.valid())
    Fail(file, "cannot make", errno);
  WriteWhole(fd.get(), content, file);
  return file;
}

std::string ReadTransferFile(const fs::path& file) {
  const UniqueFd fd = OpenTransferFile(file, O_RDONLY);
  std::string content;
  if (!ReadToEnd(fd.get(), content, content.max_size()))
    Fail(file, "cannot read", errno);
  return content;
}

void WriteTransferFile(const fs::path& file, std::string_view content) {
  const UniqueFd fd = OpenTransferFile(file, O_WRONLY);
  if (::ftruncate(fd.get(), 0) != 0)
    Fail(file, "cannot empty", errno);
  WriteWhole(fd.get(), content, file);
}

}  // namespace tervane
