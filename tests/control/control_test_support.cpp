#include "tests/control/control_test_support.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

#include "maildir/maildir_delivery.h"
#include "tests/support/maildir_files.h"

namespace tervane::testing {

bool SpinUntil(const std::function<bool()>& done, int timeoutMs) {
  const QDeadlineTimer deadline(timeoutMs);
  QTimer tick;  // wakes a loop with nothing else to do, so that the deadline is seen
  tick.start(10);
  while (!done()) {
    if (deadline.hasExpired()) {
      return false;
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  return true;
}

ControlFixtureFiles::ControlFixtureFiles()
    : maildir(temp / "Maildir"),
      runtimeDir(temp / "run"),
      socketPath(runtimeDir / "tervane" / "mailclient.sock") {
  MakeMaildirFolder(maildir);
  MakeMaildirFolder(maildir / ".Sent");
  std::filesystem::create_directories(runtimeDir);
  DeliverTestMessage(maildir, "First");
  DeliverTestMessage(maildir, "Second");
}

void DeliverTestMessage(const std::filesystem::path& folderDir, const std::string& subject) {
  DeliverMessage(folderDir,
                 "From: Ann Example <ann@example.org>\r\nTo: bob@example.org\r\nSubject: " +
                     subject + "\r\n\r\nHello.\r\n");
}

TestClient::TestClient(const std::filesystem::path& socketPath) {
  // Read as it comes: a socket closed by the server drops what was not read before.
  QObject::connect(&socket_, &QLocalSocket::readyRead, &socket_,
                   [this] { received_.append(socket_.readAll()); });
  socket_.connectToServer(QString::fromStdString(socketPath.string()));
  // connected() tells the test whether it worked.
  static_cast<void>(SpinUntil([this] { return socket_.state() != QLocalSocket::ConnectingState; }));
}

void TestClient::Send(const QByteArray& bytes) {
  socket_.write(bytes);
}

std::string TestClient::ReadLine() {
  const bool complete = SpinUntil([this] { return received_.contains('\n'); });
  if (!complete) {
    return {};
  }
  const qsizetype end = received_.indexOf('\n');
  const std::string line = received_.left(end).toStdString();
  received_.remove(0, end + 1);
  return line;
}

std::string TestClient::Ask(const std::string& line) {
  Send(QByteArray::fromStdString(line + '\n'));
  return ReadLine();
}

bool TestClient::WaitForClose() {
  return SpinUntil([this] { return socket_.state() == QLocalSocket::UnconnectedState; });
}

}  // namespace tervane::testing
