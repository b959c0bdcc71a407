#include "extserver/control_client.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <QByteArray>
#include <QDeadlineTimer>
#include <QJsonDocument>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "extserver/control_socket_file.h"
#include "extserver/unique_fd.h"
#include "mailclient/extension_interface.h"

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
  } catch (const ExtensionError& error) {
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
    const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) {
      continue;
    }
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
    const int ready = ::poll(&waiting, 1, static_cast<int>(deadline.remainingTime()));
    if (ready < 0 && errno != EINTR) {
      throw ControlClientError("cannot read from the mail client at " + where + ": " +
                               std::strerror(errno));
    }
    if (ready == 0) {
      throw ControlClientError("no answer from the mail client at " + where + " within " +
                               std::to_string(timeout.count() / 1000) + " s");
    }
    char chunk[kReadChunkBytes];
    const ssize_t got = ready < 0 ? -1 : ::recv(fd.get(), chunk, sizeof chunk, MSG_DONTWAIT);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) {
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

QJsonObject ExchangeCommand(const std::filesystem::path& socketPath, const QJsonObject& request,
                            std::chrono::milliseconds timeout) {
  const std::string line = QJsonDocument(request).toJson(QJsonDocument::Compact).toStdString();
  const QJsonDocument answer = QJsonDocument::fromJson(
      QByteArray::fromStdString(ExchangeRequest(socketPath, line, timeout)));
  if (!answer.isObject()) {
    throw ControlClientError("the mail client at " + socketPath.string() +
                             " gave an answer that is not a JSON object");
  }
  QJsonObject object = answer.object();
  if (!object.value("ok").toBool()) {
    throw ControlRefusal(object.value("error").toString().toStdString());
  }
  return object;
}

}  // namespace tervane
