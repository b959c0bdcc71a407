#include "extserver/control_server.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QLocalServer>
#include <QLocalSocket>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>

#include "extserver/control_commands.h"
#include "extserver/control_protocol.h"
#include "extserver/control_socket_file.h"
#include "mailclient/extension_interface.h"

namespace tervane {
namespace {

// One client of the control socket: reads request lines as they arrive and answers each in
// turn. Owns its socket; deletes itself when the client goes.
class ControlConnection : public QObject {
 public:
  ControlConnection(ExtensionServer& server, QLocalSocket* socket, QObject* parent)
      : QObject(parent), server_(server), socket_(socket) {
    socket_->setParent(this);
    connect(socket_, &QLocalSocket::readyRead, this, &ControlConnection::ReadRequests);
    connect(socket_, &QLocalSocket::disconnected, this, &ControlConnection::Close);
  }

 private:
  // Answers every complete line received so far. A request may run the program's handlers,
  // which may run a nested event loop; requests arriving meanwhile wait in pending_ and are
  // answered here, in order, once the running one is done.
  void ReadRequests() {
    if (busy_) {
      return;
    }
    busy_ = true;
    qsizetype start = 0;  // the first byte not yet answered; compacted once, after the loop
    while (!closing_) {
      pending_.append(socket_->readAll());
      const qsizetype end = pending_.indexOf('\n', start);
      if ((end < 0 ? pending_.size() : end) - start >
          static_cast<qsizetype>(kMaxControlLineBytes)) {
        RefuseLongLine();
        break;
      }
      if (end < 0) {
        break;
      }
      std::string_view line(pending_.constData() + start, static_cast<size_t>(end - start));
      if (line.ends_with('\r')) {
        line.remove_suffix(1);
      }
      start = end + 1;
      const std::string answer = AnswerControlRequest(server_, line);
      if (!closing_) {
        socket_->write(QByteArray::fromStdString(answer + '\n'));
      }
    }
    pending_.remove(0, start);
    busy_ = false;
    if (closing_) {
      deleteLater();
    }
  }

  void RefuseLongLine() {
    socket_->write(QByteArray::fromStdString(
        EncodeError("request line longer than " + std::to_string(kMaxControlLineBytes) + " bytes") +
        '\n'));
    // Stop reading; the answer is written before the connection closes.
    disconnect(socket_, &QLocalSocket::readyRead, this, &ControlConnection::ReadRequests);
    socket_->disconnectFromServer();
  }

  // The client went. The connection goes once no request of it is running.
  void Close() {
    closing_ = true;
    if (!busy_) {
      deleteLater();
    }
  }

  ExtensionServer& server_;
  QLocalSocket* socket_;  // owned as a child
  QByteArray pending_;    // received, not yet answered
  bool busy_ = false;
  bool closing_ = false;
};

}  // namespace

class ControlServer::Impl {
 public:
  // Absolute, since Qt would look for a relative name in the temporary folder.
  Impl(ExtensionServer& server, const std::filesystem::path& path)
      : server_(server), path_(std::filesystem::absolute(path)) {}

  void Listen() {
    PreparePrivateFolder(path_.parent_path());
    switch (ProbeSocket(path_)) {
      case SocketState::kLive:
        throw ExtensionError("a mail client is already running at " + path_.string());
      case SocketState::kStale:
        if (::unlink(path_.c_str()) != 0 && errno != ENOENT) {
          throw ExtensionError("cannot remove the stale socket " + path_.string() + ": " +
                               std::strerror(errno));
        }
        break;
      case SocketState::kAbsent:
        break;
    }
    listener_.setSocketOptions(QLocalServer::UserAccessOption);
    if (!listener_.listen(QString::fromStdString(path_.string()))) {
      throw ExtensionError("cannot listen at " + path_.string() + ": " +
                           listener_.errorString().toStdString());
    }
    if (::chmod(path_.c_str(), 0600) != 0) {
      const int error = errno;
      listener_.close();
      throw ExtensionError("cannot make " + path_.string() + " private: " + std::strerror(error));
    }
    QObject::connect(&listener_, &QLocalServer::newConnection, &listener_, [this] { Accept(); });
  }

 private:
  // Serves every waiting client of our own user; others are dropped unheard.
  void Accept() {
    while (QLocalSocket* socket = listener_.nextPendingConnection()) {
      const std::optional<uid_t> peer = PeerUid(static_cast<int>(socket->socketDescriptor()));
      if (!peer || *peer != ::geteuid()) {
        socket->abort();
        socket->deleteLater();
        continue;
      }
      new ControlConnection(server_, socket, &listener_);  // owned by the listener
    }
  }

  ExtensionServer& server_;
  std::filesystem::path path_;
  QLocalServer listener_;  // closing it removes the socket file
};

ControlServer::ControlServer(ExtensionServer& server, const std::filesystem::path& path,
                             QObject* parent)
    : QObject(parent), impl_(std::make_unique<Impl>(server, path)) {
  impl_->Listen();
}

ControlServer::~ControlServer() = default;

}  // namespace tervane
