#include "maildir/maildir_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "base/c_owned.h"
#include "base/unique_fd.h"

namespace tervane {
namespace {

constexpr const char* kSubdirs[] = {"cur", "new", "tmp"};

// The S_IFMT bits for a d_type; 0 when readdir could not tell.
mode_t TypeOf(unsigned char type) {
  switch (type) {
    case DT_REG:
      return S_IFREG;
    case DT_DIR:
      return S_IFDIR;
    case DT_LNK:
      return S_IFLNK;
    case DT_FIFO:
      return S_IFIFO;
    case DT_SOCK:
      return S_IFSOCK;
    case DT_CHR:
      return S_IFCHR;
    case DT_BLK:
      return S_IFBLK;
    default:
      return 0;
  }
}

// mkdir that accepts an existing folder.
bool MakeDirectory(const std::filesystem::path& path) {
  return ::mkdir(path.c_str(), 0700) == 0 || (errno == EEXIST && IsDirectory(path));
}

}  // namespace

std::vector<DirectoryEntry> ReadDirectory(const std::filesystem::path& dir) {
  std::vector<DirectoryEntry> entries;
  COwned<DIR, ::closedir> stream(::opendir(dir.c_str()));
  while (stream) {
    const dirent* entry = ::readdir(stream.get());
    if (entry == nullptr) {
      break;
    }
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") {
      continue;
    }
    mode_t type = TypeOf(entry->d_type);
    if (type == 0) {
      struct stat info {};
      type = ::fstatat(::dirfd(stream.get()), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0
                 ? (info.st_mode & S_IFMT)
                 : S_IFREG;  // gone meanwhile: found so when it is opened
    }
    entries.push_back(DirectoryEntry{std::string(name), type});
  }
  return entries;
}

bool IsDirectory(const std::filesystem::path& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool PathExists(const std::filesystem::path& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

bool IsMaildirFolder(const std::filesystem::path& dir) {
  return std::all_of(std::begin(kSubdirs), std::end(kSubdirs),
                     [&dir](const char* sub) { return IsDirectory(dir / sub); });
}

bool MakeMaildirFolder(const std::filesystem::path& dir, bool subfolder) {
  if (subfolder && !MakeDirectory(dir)) {
    return false;
  }
  for (const char* sub : kSubdirs) {
    if (!MakeDirectory(dir / sub)) {
      return false;
    }
  }
  if (subfolder) {
    const std::filesystem::path marker = dir / "maildirfolder";
    const UniqueFd fd(::open(marker.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd.valid()) {
      return false;
    }
  }
  return true;
}

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
  struct stat first {};
  struct stat second {};
  return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

int RenameNoReplace(const char* from, const char* to) {
#ifdef SYS_renameat2
  constexpr unsigned kNoReplace = 1;  // RENAME_NOREPLACE
  if (::syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, kNoReplace) == 0) {
    return 0;
  }
  if (errno != ENOSYS && errno != EINVAL) {
    return errno;
  }
#endif
  // The file system cannot refuse to replace: check first, accepting the small race.
  if (PathExists(to)) {
    return EEXIST;
  }
  return ::rename(from, to) == 0 ? 0 : errno;
}

std::string DescribeFileType(mode_t type) {
  switch (type & S_IFMT) {
    case S_IFIFO:
      return "a named pipe";
    case S_IFSOCK:
      return "a socket";
    case S_IFCHR:
    case S_IFBLK:
      return "a device";
    case S_IFDIR:
      return "a folder";
    case S_IFLNK:
      return "a symbolic link";
    default:
      return "not a regular file";
  }
}

}  // namespace tervane
