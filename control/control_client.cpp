#include "control/control_client.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <QByteArray>
#include <QDeadlineTimer>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "base/fd_io.h"
#include "base/unique_fd.h"
#include "control/control_socket_file.h"

namespace tervane {
namespace {

constexpr size_t kReadChunkBytes = 64 * 1024;

// A connection to the mail client at path, made only after the socket passed the server's own
// checks, and kept only when the peer runs as this user.
UniqueFd ConnectToServer(const std::filesystem::path& path, const std::string& where,
                         const QDeadlineTimer& deadline) {
  try {
    if (!CheckServerSocketFile(path)) {
      throw ControlNotRunning("no mail client is running at " + where);
    }
  } catch (const ControlSocketError& error) {
    throw ControlClientError("refusing the mail client at " + where + ": " + error.what());
  }
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.valid()) {
    throw ControlClientError("cannot connect to the mail client at " + where + ": " +
                             std::strerror(errno));
  }
  // A server whose queue is full keeps connect (and a large request) waiting: until the deadline.
  const qint64 remainingMs = std::max<qint64>(deadline.remainingTime(), 1);
  const timeval limit{static_cast<time_t>(remainingMs / 1000),
                      static_cast<suseconds_t>(remainingMs % 1000 * 1000)};
  ::setsockopt(fd.get(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  const sockaddr_un address = LocalSocketAddress(path);
  if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    switch (errno) {
      case ECONNREFUSED:
      case ENOENT:
        throw ControlNotRunning("no mail client is running at " + where);
      case EAGAIN:
      case EINPROGRESS:
        throw ControlClientError("the mail client at " + where + " took no connection in time");
      default:
        throw ControlClientError("cannot connect to the mail client at " + where + ": " +
                                 std::strerror(errno));
    }
  }
  const std::optional<uid_t> peer = PeerUid(fd.get());
  if (!peer || *peer != ::geteuid()) {
    throw ControlClientError("refusing the mail client at " + where + ": it runs as " +
                             (peer ? "user " + std::to_string(*peer) : "an unknown user"));
  }
  return fd;
}

// Sends all of bytes. A server that refuses the connection may close it before reading; its
// one-line reason is still there to read, so a failed send is left for the reading to report.
void SendAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t sent =
        RetryOnEintr([&] { return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL); });
    if (sent <= 0) {
      return;
    }
    bytes.remove_prefix(static_cast<size_t>(sent));
  }
}

}  // namespace

std::string ExchangeRequest(const std::filesystem::path& socketPath, const std::string& requestLine,
                            std::chrono::milliseconds timeout) {
  const std::filesystem::path path = std::filesystem::absolute(socketPath);
  const std::string where = path.string();
  const QDeadlineTimer deadline(timeout);
  const UniqueFd fd = ConnectToServer(path, where, deadline);
  SendAll(fd.get(), requestLine + '\n');

  std::string received;
  size_t end = std::string::npos;
  while ((end = received.find('\n')) == std::string::npos) {
    pollfd waiting{fd.get(), POLLIN, 0};
    const int ready = RetryOnEintr(
        [&] { return ::poll(&waiting, 1, static_cast<int>(deadline.remainingTime())); });
    if (ready < 0) {
      throw ControlClientError("cannot read from the mail client at " + where + ": " +
                               std::strerror(errno));
    }
    if (ready == 0) {
      throw ControlClientError("no answer from the mail client at " + where + " within " +
                               std::to_string(timeout.count() / 1000) + " s");
    }
    char chunk[kReadChunkBytes];
    const ssize_t got =
        RetryOnEintr([&] { return ::recv(fd.get(), chunk, sizeof chunk, MSG_DONTWAIT); });
    if (got < 0 && errno == EAGAIN) {
      continue;
    }
    if (got <= 0) {
      throw ControlClientError("the mail client at " + where + " closed the connection");
    }
    received.append(chunk, static_cast<size_t>(got));
  }
  received.resize(end);
  return received;
}

ControlAnswer Exchange(const std::filesystem::path& socketPath, const ControlRequest& request,
                       std::chrono::milliseconds timeout) {
  auto decoded = DecodeAnswer(ExchangeRequest(socketPath, EncodeRequest(request), timeout));
  if (const auto* error = std::get_if<std::string>(&decoded)) {
    throw ControlClientError("unreadable answer from the mail client at " + socketPath.string() +
                             ": " + *error);
  }
  ControlAnswer& answer = std::get<ControlAnswer>(decoded);
  if (!answer.ok) {
    throw ControlRefusal(answer.error);
  }
  return std::move(answer);
}

}  // namespace tervane
