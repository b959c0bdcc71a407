#include "extserver/control_client.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QJsonDocument>
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
        throw ControlNotRunning("no mail client is running at " + where);
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

QJsonObject ExchangeCommand(const std::filesystem::path& socketPath, const QJsonObject& request,
                            std::chrono::milliseconds timeout) {
  const std::string line = QJsonDocument(request).toJson(QJsonDocument::Compact).toStdString();
  const QJsonDocument answer = QJsonDocument::fromJson(
      QByteArray::fromStdString(ExchangeRequest(socketPath, line, timeout)));
  if (!answer.isObject()) {
    throw ControlClientError("the mail client at " + socketPath.string() +
                             " gave an answer that is not a JSON object");
  }
  QJsonObject object = answer.object();
  if (!object.value("ok").toBool()) {
    throw ControlRefusal(object.value("error").toString().toStdString());
  }
  return object;
}

}  // namespace tervane
