#include "control/control_socket_file.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>

#include "base/unique_fd.h"
#include "base/xdg_dirs.h"

namespace tervane {
namespace {

[[noreturn]] void Fail(const std::string& what, const std::filesystem::path& path, int error) {
  throw ControlSocketError(what + " " + path.string() + ": " + std::strerror(error));
}

// The status of folder, a folder of this user; throws ControlSocketError otherwise.
struct stat OwnFolderStatus(const std::filesystem::path& folder) {
  struct stat status {};
  if (::lstat(folder.c_str(), &status) != 0) {
    Fail("cannot inspect", folder, errno);
  }
  if (!S_ISDIR(status.st_mode)) {
    throw ControlSocketError(folder.string() + " is not a folder");
  }
  if (status.st_uid != ::geteuid()) {
    throw ControlSocketError(folder.string() + " belongs to another user");
  }
  return status;
}

}  // namespace

std::filesystem::path DefaultControlSocketPath() {
  if (const std::optional<std::filesystem::path> runtime = XdgRuntimeFolder()) {
    return *runtime / "tervane" / "mailclient.sock";
  }
  return std::filesystem::path("/tmp") / ("tervane-" + std::to_string(::getuid())) /
         "mailclient.sock";
}

void PreparePrivateFolder(const std::filesystem::path& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder.parent_path(), error);
  if (error) {
    throw ControlSocketError("cannot create " + folder.parent_path().string() + ": " +
                             error.message());
  }
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    Fail("cannot create", folder, errno);
  }
  const struct stat status = OwnFolderStatus(folder);
  if ((status.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0) {
    Fail("cannot make private", folder, errno);
  }
}

bool CheckServerSocketFile(const std::filesystem::path& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) {
      return false;
    }
    Fail("cannot inspect", path, errno);
  }
  const std::filesystem::path folder = path.parent_path();
  const struct stat folderStatus = OwnFolderStatus(folder);
  if ((folderStatus.st_mode & 077) != 0) {
    throw ControlSocketError(folder.string() + " is open to other users");
  }
  if (!S_ISSOCK(status.st_mode)) {
    throw ControlSocketError(path.string() + " is not a socket");
  }
  if (status.st_uid != ::geteuid()) {
    throw ControlSocketError(path.string() + " belongs to another user");
  }
  return true;
}

SocketState ProbeSocket(const std::filesystem::path& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) {
    if (errno == ENOENT) {
      return SocketState::kAbsent;
    }
    Fail("cannot inspect", path, errno);
  }
  if (!S_ISSOCK(status.st_mode)) {
    throw ControlSocketError(path.string() + " is not a socket");
  }
  const sockaddr_un address = LocalSocketAddress(path);
  const UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!fd.valid()) {
    Fail("cannot probe", path, errno);
  }
  if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
    return SocketState::kLive;
  }
  switch (errno) {
    case EAGAIN:  // a listener whose queue is full is still alive
    case EINPROGRESS:
      return SocketState::kLive;
    case ECONNREFUSED:
      return SocketState::kStale;
    default:
      Fail("cannot probe", path, errno);
  }
}

sockaddr_un LocalSocketAddress(const std::filesystem::path& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string name = path.string();
  if (name.size() >= sizeof address.sun_path) {
    throw ControlSocketError("socket path too long: " + name);
  }
  std::memcpy(address.sun_path, name.c_str(), name.size() + 1);
  return address;
}

std::optional<uid_t> PeerUid(int fd) {
  ucred credentials{};
  socklen_t size = sizeof credentials;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0 ||
      size != sizeof credentials) {
    return std::nullopt;
  }
  return credentials.uid;
}

}  // namespace tervane
