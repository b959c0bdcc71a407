#ifndef TERVANE_TESTS_SUPPORT_TCP_PROXY_H_
#define TERVANE_TESTS_SUPPORT_TCP_PROXY_H_

#include <atomic>
#include <thread>
#include <utility>
#include <vector>

#include "base/unique_fd.h"

namespace tervane::testing {

// A loopback TCP proxy in a thread of its own: every connection to port() is passed byte for
// byte to targetPort of 127.0.0.1, until CutAll cuts every connection open at that moment (as a
// router that forgets them, or a server host that goes away), while new connections are still
// taken.
class TcpProxy {
 public:
  // Listens on a free port of 127.0.0.1; port() is 0 when it cannot.
  explicit TcpProxy(int targetPort);
  ~TcpProxy();
  TcpProxy(const TcpProxy&) = delete;
  TcpProxy& operator=(const TcpProxy&) = delete;

  int port() const { return port_; }
  void CutAll();
  // While refusing, every new connection is closed at once, as by a server host that is down.
  void SetRefusing(bool refusing) { refusing_ = refusing; }
  // How many connections it has taken so far, refused ones too.
  int accepted() const { return accepted_; }

 private:
  void Run();

  const int targetPort_;
  int port_ = 0;
  UniqueFd listener_;
  UniqueFd wake_[2];                                  // a pipe that wakes the thread to end
  std::vector<std::pair<UniqueFd, UniqueFd>> links_;  // (client, server)
  std::atomic<bool> cut_ = false;
  std::atomic<bool> refusing_ = false;
  std::atomic<int> accepted_ = 0;
  std::thread thread_;
};

}  // namespace tervane::testing

#endif  // TERVANE_TESTS_SUPPORT_TCP_PROXY_H_
