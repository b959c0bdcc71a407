#include "tests/e2e/report_sink.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace tervane::testing {

ReportSink::ReportSink() {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::listen(listener_, 64) != 0 ||
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    if (listener_ >= 0)
      ::close(listener_);
    throw std::runtime_error("cannot listen on 127.0.0.1");
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

ReportSink::~ReportSink() {
  ::shutdown(listener_, SHUT_RDWR);
  thread_.join();
  ::close(listener_);
}

std::string ReportSink::Host() const {
  return "127.0.0.1:" + std::to_string(port_);
}

std::vector<std::string> ReportSink::Targets() const {
  std::lock_guard lock(mutex_);
  return targets_;
}

void ReportSink::Serve() {
  for (;;) {
    const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0)
      return;  // shut down
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
      const ssize_t got = ::read(client, buffer, sizeof buffer);
      if (got <= 0)
        break;
      request.append(buffer, static_cast<size_t>(got));
    }
    // "GET <target> HTTP/1.1"
    const size_t start = request.find(' ');
    const size_t end = request.find(' ', start + 1);
    if (start != std::string::npos && end != std::string::npos) {
      std::lock_guard lock(mutex_);
      targets_.push_back(request.substr(start + 1, end - start - 1));
    }
    constexpr char kAnswer[] = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    [[maybe_unused]] const ssize_t sent = ::write(client, kAnswer, sizeof kAnswer - 1);
    ::close(client);
  }
}

}  // namespace tervane::testing
