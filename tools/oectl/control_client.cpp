#include "tools/oectl/control_client.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QString>

namespace tervane {

std::string ExchangeRequest(const std::filesystem::path& socketPath, const std::string& requestLine,
                            std::chrono::milliseconds timeout) {
  const std::string where = socketPath.string();
  const QDeadlineTimer deadline(timeout);
  QLocalSocket socket;
  socket.connectToServer(QString::fromStdString(where));
  if (!socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) {
    switch (socket.error()) {
      case QLocalSocket::ServerNotFoundError:
      case QLocalSocket::ConnectionRefusedError:
        throw ControlClientError("no mail client is running at " + where);
      default:
        throw ControlClientError("cannot connect to the mail client at " + where + ": " +
                                 socket.errorString().toStdString());
    }
  }
  socket.write(QByteArray::fromStdString(requestLine + '\n'));

  QByteArray received;
  qsizetype end = -1;
  while ((end = received.indexOf('\n')) < 0) {
    if (socket.bytesAvailable() == 0 &&
        !socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
      if (socket.state() != QLocalSocket::ConnectedState) {
        throw ControlClientError("the mail client at " + where + " closed the connection");
      }
      throw ControlClientError("no answer from the mail client at " + where + " within " +
                               std::to_string(timeout.count() / 1000) + " s");
    }
    received.append(socket.readAll());
  }
  received.truncate(end);
  return received.toStdString();
}

}  // namespace tervane
