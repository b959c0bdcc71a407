#include "tests/support/x_display.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <memory>
#include <regex>
#include <sstream>

namespace tervane::testing {
namespace {

constexpr int kStartTimeoutMs = 10000;

// The standard output of a shell command, or empty when it failed.
std::string Output(const std::string& command) {
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen((command + " 2>/dev/null").c_str(), "r"),
                                             &::pclose);
  if (!pipe)
    return {};
  std::string out;
  std::array<char, 4096> buffer;
  for (size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), pipe.get())) > 0;)
    out.append(buffer.data(), n);
  return out;
}

// The quoted value of an xprop line 'NAME(TYPE) = "value"', or empty.
std::string PropertyValue(const std::string& xpropLine) {
  const size_t open = xpropLine.find("= \"");
  const size_t close = xpropLine.rfind('"');
  if (open == std::string::npos || close <= open + 2)
    return {};
  return xpropLine.substr(open + 3, close - open - 3);
}

}  // namespace

XvfbDisplay::XvfbDisplay() {
  int fds[2];
  if (::pipe(fds) != 0) {
    failure_ = "no pipe for Xvfb";
    return;
  }
  const std::string fd = std::to_string(fds[1]);  // made before the fork: the child only execs
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(fds[0]);
    const int devnull = ::open("/dev/null", O_RDWR);
    ::dup2(devnull, STDIN_FILENO);
    ::dup2(devnull, STDOUT_FILENO);
    ::dup2(devnull, STDERR_FILENO);
    ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0",
             "1024x768x24", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(fds[1]);
  if (child < 0) {
    ::close(fds[0]);
    failure_ = "cannot fork for Xvfb";
    return;
  }
  // Xvfb writes its display number and a line break once it takes connections.
  std::string number;
  pollfd ready{fds[0], POLLIN, 0};
  while (::poll(&ready, 1, kStartTimeoutMs) == 1) {
    char c;
    if (::read(fds[0], &c, 1) != 1 || c == '\n')
      break;
    number += c;
  }
  ::close(fds[0]);
  if (number.empty()) {
    ::kill(child, SIGTERM);
    int status = 0;
    ::waitpid(child, &status, 0);
    failure_ = WIFEXITED(status) && WEXITSTATUS(status) == 127 ? "Xvfb is not installed"
                                                               : "Xvfb did not start within 10 s";
    return;
  }
  pid_ = child;
  name_ = ":" + number;
}

XvfbDisplay::~XvfbDisplay() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
}

std::vector<XWindow> XvfbDisplay::ShownWindows() const {
  std::vector<XWindow> windows;
  const std::string display = " -display " + name_;
  static const std::regex kChild(R"(^\s+(0x[0-9a-f]+) )");
  std::istringstream children(Output("xwininfo" + display + " -root -children"));
  for (std::string line; std::getline(children, line);) {
    std::smatch match;
    if (!std::regex_search(line, match, kChild))
      continue;
    XWindow window{match[1], {}, {}};
    if (Output("xwininfo" + display + " -id " + window.id).find("Map State: IsViewable") ==
        std::string::npos)
      continue;
    std::istringstream properties(
        Output("xprop" + display + " -id " + window.id + " _NET_WM_NAME WM_NAME"));
    for (std::string property; std::getline(properties, property);) {
      if (property.starts_with("_NET_WM_NAME"))
        window.netName = PropertyValue(property);
      else if (property.starts_with("WM_NAME"))
        window.wmName = PropertyValue(property);
    }
    windows.push_back(std::move(window));
  }
  return windows;
}

}  // namespace tervane::testing
