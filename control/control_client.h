#ifndef TERVANE_CONTROL_CONTROL_CLIENT_H_
#define TERVANE_CONTROL_CONTROL_CLIENT_H_

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "control/control_protocol.h"

namespace tervane {

// Why a request got no answer; what() is a one-line message naming the socket.
class ControlClientError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Nothing listens at the socket: no mail client (and so no program) is running there.
class ControlNotRunning : public ControlClientError {
 public:
  using ControlClientError::ControlClientError;
};

// The server answered with a refusal; what() is its one-line reason.
class ControlRefusal : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Sends requestLine (without a line break) to the mail client's control socket at socketPath
// and returns its answer line. Talks only to a server of this user: before connecting, the
// socket must belong to this user and sit in a folder of this user that no one else may enter
// (mode 0700, as the server makes it); after connecting, the peer must run as this user.
// Throws ControlNotRunning when no mail client is running there, and ControlClientError when
// the socket fails those checks, the connection fails, or no answer arrives within timeout.
std::string ExchangeRequest(const std::filesystem::path& socketPath, const std::string& requestLine,
                            std::chrono::milliseconds timeout);

// Sends request and returns the answer. Throws ControlClientError as ExchangeRequest does
// (ControlNotRunning when nothing listens), ControlRefusal when the answer refuses the request,
// and ControlClientError for a line that is not an answer.
ControlAnswer Exchange(const std::filesystem::path& socketPath, const ControlRequest& request,
                       std::chrono::milliseconds timeout);

}  // namespace tervane

#endif  // TERVANE_CONTROL_CONTROL_CLIENT_H_
