#ifndef TERVANE_CONTROL_CONTROL_SOCKET_FILE_H_
#define TERVANE_CONTROL_CONTROL_SOCKET_FILE_H_

#include <sys/types.h>
#include <sys/un.h>

#include <filesystem>
#include <optional>
#include <stdexcept>

namespace tervane {

// What is wrong with the control socket's file or folder, in one line naming it.
class ControlSocketError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// $XDG_RUNTIME_DIR/tervane/mailclient.sock, else /tmp/tervane-<uid>/mailclient.sock.
std::filesystem::path DefaultControlSocketPath();

// The file-system side of the control socket: a private folder, and what listens at a path.

// Makes folder (and its parents) with mode 0700, or checks the existing one: ours and open to
// others is narrowed to 0700. Throws ControlSocketError when folder is not a folder (a symbolic
// link included) or belongs to another user.
void PreparePrivateFolder(const std::filesystem::path& folder);

// What a client checks before it connects, so that it never talks to a socket another user
// could have planted or could listen on: path is a socket of this user in a folder of this user
// that no one else may enter (as PreparePrivateFolder and the server leave them). False when
// nothing is at path (no server runs there). Throws ControlSocketError naming what is wrong
// otherwise. The peer's user is checked after connecting (PeerUid).
bool CheckServerSocketFile(const std::filesystem::path& path);

enum class SocketState {
  kAbsent,  // no file at the path
  kStale,   // a socket file that nothing listens on
  kLive,    // a server accepts connections
};

// What is at path. Throws ControlSocketError when path holds something other than a socket or
// cannot be probed.
SocketState ProbeSocket(const std::filesystem::path& path);

// The address of the local socket at path. Throws ControlSocketError when path is too long for one.
sockaddr_un LocalSocketAddress(const std::filesystem::path& path);

// The user id of the process at the other end of the connected local socket fd, or nothing.
std::optional<uid_t> PeerUid(int fd);

}  // namespace tervane

#endif  // TERVANE_CONTROL_CONTROL_SOCKET_FILE_H_
