#ifndef TERVANE_EXTSERVER_CONTROL_SERVER_H_
#define TERVANE_EXTSERVER_CONTROL_SERVER_H_

#include <QObject>
#include <filesystem>
#include <memory>

namespace tervane {

class ExtensionServer;

// The most clients served at once; one more is answered with a refusal and dropped.
inline constexpr int kMaxControlConnections = 64;

// The control socket through which oectl plays the mail client's user: one request line, one
// answer line per request (see ControlConnection). Only peers of the server's own uid are
// served, at most kMaxControlConnections at a time. The socket outlives every client's doings:
// a failed accept (out of file descriptors, say) leaves the clients queued and the listener
// resting for a moment, never closed.
// REQUIRES: made and used on the thread of the event loop that serves it.
class ControlServer : public QObject {
  Q_OBJECT

 public:
  // Listens on path; its folder is made 0700 and the socket is 0600. Throws ExtensionError when
  // a live server answers at path; a stale socket file is replaced.
  ControlServer(ExtensionServer& server, const std::filesystem::path& path,
                QObject* parent = nullptr);
  // Stops listening, drops every client and removes the socket file (unless another file has
  // taken its place).
  ~ControlServer() override;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tervane

#endif  // TERVANE_EXTSERVER_CONTROL_SERVER_H_
