#include "control/control_server.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>

#include "base/unique_fd.h"
#include "control/control_connection.h"
#include "control/control_protocol.h"
#include "control/control_socket_file.h"

namespace tervane {
namespace {

// Clients taken from the listening queue in one pass of the event loop; the rest wait for the
// next pass, so a crowd of connections cannot starve the other events.
constexpr int kAcceptsPerPass = 16;
// After a failed accept (out of descriptors or memory) the listener rests, twice as long after
// each further failure, up to the longest rest.
constexpr int kFirstRestMs = 10;
constexpr int kLongestRestMs = 1000;

[[noreturn]] void Fail(const std::string& what, const std::filesystem::path& path, int error) {
  throw ControlSocketError(what + " " + path.string() + ": " + std::strerror(error));
}

// Errors of accept(2) that concern only the one connection that was being taken.
bool OnlyThatConnectionFailed(int error) {
  switch (error) {
    case EINTR:
    case ECONNABORTED:
    case EPROTO:
    case EPERM:
      return true;
    default:
      return false;
  }
}

}  // namespace

std::string AnswerControlLine(const ControlHandler& handler, std::string_view line) {
  auto decoded = DecodeRequest(line);
  if (const auto* error = std::get_if<std::string>(&decoded)) {
    return EncodeError(*error);
  }
  try {
    ControlAnswer answer = handler(std::get<ControlRequest>(decoded));
    answer.ok = true;
    return EncodeAnswer(answer);
  } catch (const std::exception& error) {
    return EncodeError(error.what());
  }
}

class ControlServer::Impl {
 public:
  // Absolute, so that the socket file removed at the end is the one made here.
  Impl(const std::filesystem::path& path, ControlHandler handler)
      : handler_(std::move(handler)), path_(std::filesystem::absolute(path)) {}

  ~Impl() {
    listener_.reset();
    fd_.Reset();
    // Removes the socket file unless someone has put another file in its place.
    struct stat status {};
    if (::lstat(path_.c_str(), &status) == 0 && S_ISSOCK(status.st_mode) &&
        status.st_ino == inode_ && status.st_dev == device_) {
      ::unlink(path_.c_str());
    }
  }

  void Listen() {
    PreparePrivateFolder(path_.parent_path());
    switch (ProbeSocket(path_)) {
      case SocketState::kLive:
        throw ControlSocketError("a mail client is already running at " + path_.string());
      case SocketState::kStale:
        if (::unlink(path_.c_str()) != 0 && errno != ENOENT) {
          Fail("cannot remove the stale socket", path_, errno);
        }
        break;
      case SocketState::kAbsent:
        break;
    }
    const sockaddr_un address = LocalSocketAddress(path_);
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.valid()) {
      Fail("cannot listen at", path_, errno);
    }
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
      Fail("cannot listen at", path_, errno);
    }
    struct stat status {};
    if (::chmod(path_.c_str(), 0600) != 0 || ::lstat(path_.c_str(), &status) != 0) {
      const int error = errno;
      ::unlink(path_.c_str());
      Fail("cannot make private", path_, error);
    }
    if (::listen(fd.get(), SOMAXCONN) != 0) {
      const int error = errno;
      ::unlink(path_.c_str());
      Fail("cannot listen at", path_, error);
    }
    inode_ = status.st_ino;
    device_ = status.st_dev;
    fd_ = std::move(fd);
    listener_ = std::make_unique<QSocketNotifier>(fd_.get(), QSocketNotifier::Read);
    QObject::connect(listener_.get(), &QSocketNotifier::activated, &clients_, [this] { Accept(); });
    rest_.setSingleShot(true);
    QObject::connect(&rest_, &QTimer::timeout, &clients_, [this] {
      SetListening(true);
      Accept();
    });
  }

 private:
  // Takes the waiting clients. When the process is out of descriptors the clients stay queued
  // (they are served once descriptors are free again) and the listener rests meanwhile, so the
  // socket keeps its file and the event loop does not spin.
  void Accept() {
    for (int taken = 0; taken < kAcceptsPerPass; ++taken) {
      UniqueFd client(::accept4(fd_.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
      if (client.valid()) {
        restMs_ = kFirstRestMs;
        Serve(std::move(client));
      } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
        return;
      } else if (!OnlyThatConnectionFailed(errno)) {
        SetListening(false);
        rest_.start(restMs_);
        restMs_ = std::min(restMs_ * 2, kLongestRestMs);
        return;
      }
    }
  }

  // UBSan's check of a call's dynamic type reads memory through a pipe, which cannot be made while
  // the process is out of descriptors, exactly when the listener rests: the check is left out.
  __attribute__((no_sanitize("vptr"))) void SetListening(bool on) { listener_->setEnabled(on); }

  // Serves a client of our own user while fewer than kMaxControlConnections are served; others
  // are dropped unheard, and one too many is told why before it is dropped.
  void Serve(UniqueFd client) {
    const std::optional<uid_t> peer = PeerUid(client.get());
    if (!peer || *peer != ::geteuid()) {
      return;
    }
    if (clients_.children().size() >= kMaxControlConnections) {
      const std::string refusal =
          EncodeError("too many connections to the mail client (" +
                      std::to_string(kMaxControlConnections) + "); try again later") +
          '\n';
      static_cast<void>(
          ::send(client.get(), refusal.data(), refusal.size(), MSG_NOSIGNAL | MSG_DONTWAIT));
      return;
    }
    new ControlConnection(  // owned by clients_; deletes itself when done
        std::move(client),
        [this](std::string_view line) { return AnswerControlLine(handler_, line); }, &clients_);
  }

  ControlHandler handler_;
  std::filesystem::path path_;
  ino_t inode_ = 0;  // of the socket file made here
  dev_t device_ = 0;
  QObject clients_;  // the parent of every ControlConnection, and nothing else
  UniqueFd fd_;
  std::unique_ptr<QSocketNotifier> listener_;
  QTimer rest_;
  int restMs_ = kFirstRestMs;
};

ControlServer::ControlServer(const std::filesystem::path& path, ControlHandler handler,
                             QObject* parent)
    : QObject(parent), impl_(std::make_unique<Impl>(path, std::move(handler))) {
  impl_->Listen();
}

ControlServer::~ControlServer() = default;

}  // namespace tervane
