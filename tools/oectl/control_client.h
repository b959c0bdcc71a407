#ifndef TERVANE_TOOLS_OECTL_CONTROL_CLIENT_H_
#define TERVANE_TOOLS_OECTL_CONTROL_CLIENT_H_

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace tervane {

// Why a request got no answer; what() is a one-line message naming the socket.
class ControlClientError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Sends requestLine (without a line break) to the mail client's control socket at socketPath
// and returns its answer line. Throws ControlClientError when no mail client is running there,
// the connection fails, or no answer arrives within timeout.
std::string ExchangeRequest(const std::filesystem::path& socketPath, const std::string& requestLine,
                            std::chrono::milliseconds timeout);

}  // namespace tervane

#endif  // TERVANE_TOOLS_OECTL_CONTROL_CLIENT_H_
