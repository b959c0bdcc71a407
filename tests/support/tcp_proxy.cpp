#include "tests/support/tcp_proxy.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tervane::testing {
namespace {

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  return address;
}

// Passes what from holds on to to; false when from has ended or either failed.
bool Pass(int from, int to) {
  char buffer[16384];
  const ssize_t n = ::read(from, buffer, sizeof buffer);
  if (n <= 0)
    return false;
  for (ssize_t sent = 0; sent < n;) {
    const ssize_t w = ::send(to, buffer + sent, static_cast<size_t>(n - sent), MSG_NOSIGNAL);
    if (w <= 0)
      return false;
    sent += w;
  }
  return true;
}

}  // namespace

TcpProxy::TcpProxy(int targetPort) : targetPort_(targetPort) {
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0)
    return;
  wake_[0] = UniqueFd(pipeFds[0]);
  wake_[1] = UniqueFd(pipeFds[1]);
  listener_ = UniqueFd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address = Loopback(0);
  socklen_t length = sizeof address;
  if (!listener_.valid() ||
      ::bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::listen(listener_.get(), 16) != 0 ||
      ::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return;
  port_ = ntohs(address.sin_port);
  thread_ = std::thread(&TcpProxy::Run, this);
}

TcpProxy::~TcpProxy() {
  if (thread_.joinable()) {
    (void)::write(wake_[1].get(), "x", 1);
    thread_.join();
  }
}

void TcpProxy::CutAll() {
  cut_ = true;
  (void)::write(wake_[1].get(), "c", 1);
  // Cut means cut: the links are gone once this returns.
  while (cut_)
    std::this_thread::yield();
}

void TcpProxy::Run() {
  for (;;) {
    std::vector<pollfd> fds{{wake_[0].get(), POLLIN, 0}, {listener_.get(), POLLIN, 0}};
    for (const auto& [client, server] : links_) {
      fds.push_back({client.get(), POLLIN, 0});
      fds.push_back({server.get(), POLLIN, 0});
    }
    if (::poll(fds.data(), fds.size(), -1) < 0)
      continue;
    if (fds[0].revents != 0) {
      char what = 0;
      (void)::read(wake_[0].get(), &what, 1);
      if (what == 'x')
        return;
      for (const auto& link : links_) {
        const linger reset{1, 0};  // the client gets a reset, as from a host that went away
        ::setsockopt(link.first.get(), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
      }
      links_.clear();
      cut_ = false;
      continue;
    }
    const size_t polled = links_.size();
    if (fds[1].revents != 0) {
      UniqueFd client(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
      UniqueFd server(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
      const sockaddr_in target = Loopback(targetPort_);
      if (!refusing_ && client.valid() && server.valid() &&
          ::connect(server.get(), reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0)
        links_.emplace_back(std::move(client), std::move(server));
      ++accepted_;
    }
    // Links whose either end has ended are closed.
    std::vector<bool> ended(polled);
    for (size_t i = 0; i < polled; ++i) {
      const pollfd& client = fds[2 + 2 * i];
      const pollfd& server = fds[3 + 2 * i];
      if (client.revents != 0 && !Pass(links_[i].first.get(), links_[i].second.get()))
        ended[i] = true;
      if (server.revents != 0 && !Pass(links_[i].second.get(), links_[i].first.get()))
        ended[i] = true;
    }
    for (size_t i = polled; i-- > 0;) {
      if (ended[i])
        links_.erase(links_.begin() + static_cast<ptrdiff_t>(i));
    }
  }
}

}  // namespace tervane::testing
