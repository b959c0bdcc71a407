#include "store/temp_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>

#include "store/database_error.h"
#include "store/side_files.h"

namespace tervane {
namespace {

[[noreturn]] void Throw(const std::string& what, int error) {
  throw DatabaseError(what + ": " + std::strerror(error));
}

void SyncPath(const std::filesystem::path& path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0)
    Throw("Cannot open \"" + path.string() + "\"", errno);
  const int rc = ::fsync(fd);
  const int error = errno;
  ::close(fd);
  if (rc != 0)
    Throw("Cannot flush \"" + path.string() + "\" to disk", error);
}

void SyncFolderOf(const std::filesystem::path& file) {
  SyncPath(file.has_parent_path() ? file.parent_path() : ".", O_RDONLY | O_DIRECTORY);
}

}  // namespace

TempFile::TempFile(const std::filesystem::path& folder, std::string_view prefix) {
  std::string pattern = (folder / (std::string(prefix) + "XXXXXX")).string();
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0)
    Throw("Cannot create a temporary file in \"" + folder.string() + "\"", errno);
  ::close(fd);
  path_ = pattern;
}

TempFile::~TempFile() {
  if (placed_)
    return;
  std::error_code ignored;
  std::filesystem::remove(path_, ignored);
  for (std::string_view suffix : kSideFileSuffixes)
    std::filesystem::remove(SideFile(path_, suffix), ignored);
}

void TempFile::SetMode(std::filesystem::perms mode) const {
  std::error_code error;
  std::filesystem::permissions(path_, mode, error);
  if (error)
    Throw("Cannot set the mode of \"" + path_.string() + "\"", error.value());
}

void TempFile::Sync() const {
  SyncPath(path_, O_RDONLY);
}

void TempFile::ReplaceTarget(const std::filesystem::path& target) {
  if (::rename(path_.c_str(), target.c_str()) != 0) {
    Throw("Cannot replace \"" + target.string() + "\"", errno);
  }
  placed_ = true;
  SyncFolderOf(target);
}

void TempFile::PublishNew(const std::filesystem::path& target) {
  // link() fails with EEXIST rather than replace a file that appeared meanwhile.
  if (::link(path_.c_str(), target.c_str()) != 0) {
    Throw("Cannot create \"" + target.string() + "\"", errno);
  }
  ::unlink(path_.c_str());
  placed_ = true;
  SyncFolderOf(target);
}

}  // namespace tervane
