#ifndef TERVANE_EXTSERVER_CONTROL_SERVER_H_
#define TERVANE_EXTSERVER_CONTROL_SERVER_H_

#include <QObject>
#include <filesystem>
#include <memory>

namespace tervane {

class ExtensionServer;

// The control socket through which oectl plays the mail client's user: one request line, one
// answer line per request. Only peers of the server's own uid are served.
class ControlServer : public QObject {
  Q_OBJECT

 public:
  // Listens on path; its folder is made 0700 and the socket is 0600. Throws ExtensionError when
  // a live server answers at path; a stale socket file is replaced.
  ControlServer(ExtensionServer& server, const std::filesystem::path& path,
                QObject* parent = nullptr);
  // Stops listening and removes the socket file.
  ~ControlServer() override;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tervane

#endif  // TERVANE_EXTSERVER_CONTROL_SERVER_H_
