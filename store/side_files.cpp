#include "store/side_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace tervane {
namespace {

// A log no longer than its header holds no change.
constexpr std::uintmax_t kLogHeaderBytes = 32;

// 0 when this process (by its effective user) may access path with mode, else the error.
int AccessError(const std::filesystem::path& path, int mode) {
  return ::faccessat(AT_FDCWD, path.c_str(), mode, AT_EACCESS) == 0 ? 0 : errno;
}

bool Exists(const std::filesystem::path& path) {
  struct stat status;
  return ::lstat(path.c_str(), &status) == 0;
}

std::string Because(int error) {
  return " (" + std::string(std::strerror(error)) + ")";
}

}  // namespace

std::filesystem::path SideFile(const std::filesystem::path& file, std::string_view suffix) {
  return file.string() + std::string(suffix);
}

std::string WhyUnreadable(const std::filesystem::path& file) {
  if (const int error = AccessError(file, R_OK))
    return file.filename().string() + " cannot be read" + Because(error);
  return "";
}

std::string PrepareForWriting(const std::filesystem::path& file) {
  if (std::string reason = WhyUnreadable(file); !reason.empty())
    return reason;
  const std::string name = file.filename().string();
  if (const int error = AccessError(file, W_OK)) {
    return name + " is read-only: the filter writes into this file, so it must be writable" +
           Because(error);
  }
  const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : ".";
  if (const int error = AccessError(folder, W_OK | X_OK)) {
    return "the folder \"" + folder.string() + "\" is read-only: the filter keeps the log of " +
           name + " beside the file, so the folder must be writable" + Because(error);
  }
  std::error_code ignored;
  const std::filesystem::path index = SideFile(file, "-shm");
  if (Exists(index) && AccessError(index, W_OK) != 0)
    std::filesystem::remove(index, ignored);
  const std::filesystem::path log = SideFile(file, "-wal");
  if (Exists(log)) {
    if (const int error = AccessError(log, W_OK)) {
      std::error_code sizeError;
      const std::uintmax_t size = std::filesystem::file_size(log, sizeError);
      if (sizeError || size > kLogHeaderBytes) {
        return log.filename().string() + " is read-only: it holds changes not yet written into " +
               name + ", so it must be writable" + Because(error);
      }
      std::filesystem::remove(log, ignored);
    }
  }
  return "";
}

SideFileSnapshot::SideFileSnapshot(const std::filesystem::path& file) : file_(file) {
  for (size_t i = 0; i < kSideFileSuffixes.size(); ++i)
    existed_[i] = Exists(SideFile(file_, kSideFileSuffixes[i]));
}

void SideFileSnapshot::RemoveCreated() const {
  std::error_code ignored;
  for (size_t i = 0; i < kSideFileSuffixes.size(); ++i) {
    if (!existed_[i])
      std::filesystem::remove(SideFile(file_, kSideFileSuffixes[i]), ignored);
  }
}

}  // namespace tervane
