#include "tests/extserver/control_test_support.h"

#include <gtest/gtest.h>

#include <QTest>

#include "extserver/maildir_delivery.h"
#include "tests/extserver/maildir_test_support.h"

namespace tervane::testing {

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
  socket_.connectToServer(QString::fromStdString(socketPath.string()));
  // connected() tells the test whether it worked.
  static_cast<void>(QTest::qWaitFor(
      [this] { return socket_.state() != QLocalSocket::ConnectingState; }, kWaitMs));
}

void TestClient::Send(const QByteArray& bytes) {
  socket_.write(bytes);
}

std::string TestClient::ReadLine() {
  const bool complete = QTest::qWaitFor(
      [this] {
        received_.append(socket_.readAll());
        return received_.contains('\n');
      },
      kWaitMs);
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
  return QTest::qWaitFor(
      [this] {
        received_.append(socket_.readAll());
        return socket_.state() == QLocalSocket::UnconnectedState;
      },
      kWaitMs);
}

}  // namespace tervane::testing
