#ifndef TERVANE_CONTROL_CONTROL_SERVER_H_
#define TERVANE_CONTROL_CONTROL_SERVER_H_

#include <QObject>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "control/control_protocol.h"

namespace tervane {

// Answers one request: the answer's results (the server sets "ok"). Throwing std::exception
// (ControlRefused, say) refuses the request with what() as its one-line reason. It may run the
// program's handlers, and with them a nested event loop.
using ControlHandler = std::function<ControlAnswer(const ControlRequest& request)>;

// Carries out one request line with handler and returns its answer line (without a line
// break). Never throws: a malformed request or a refusal gives a refusal.
std::string AnswerControlLine(const ControlHandler& handler, std::string_view line);

// The most clients served at once; one more is answered with a refusal and dropped.
inline constexpr int kMaxControlConnections = 64;

// The control socket through which oectl plays the mail client's user and the program's tools
// reach the program: one request line, one answer line per request (see ControlConnection). Only
// peers of the server's own uid are served, at most kMaxControlConnections at a time. The socket
// outlives every client's doings: a failed accept (out of file descriptors, say) leaves the clients
// queued and the listener resting for a moment, never closed. REQUIRES: made and used on the thread
// of the event loop that serves it.
class ControlServer : public QObject {
  Q_OBJECT

 public:
  // Listens on path and answers with handler; the folder is made 0700 and the socket is 0600.
  // Throws ControlSocketError when a live server answers at path; a stale socket file is
  // replaced.
  ControlServer(const std::filesystem::path& path, ControlHandler handler,
                QObject* parent = nullptr);
  // Stops listening, drops every client and removes the socket file (unless another file has
  // taken its place).
  ~ControlServer() override;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tervane

#endif  // TERVANE_CONTROL_CONTROL_SERVER_H_
