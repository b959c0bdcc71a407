#ifndef TERVANE_TESTS_CONTROL_CONTROL_TEST_SUPPORT_H_
#define TERVANE_TESTS_CONTROL_CONTROL_TEST_SUPPORT_H_

#include <QByteArray>
#include <QLocalSocket>
#include <filesystem>
#include <functional>
#include <string>

#include "tests/support/temp_dir.h"

namespace tervane::testing {

// What the control tests run in: one QCoreApplication for the test program (set up by a global
// GoogleTest environment in control_test_support.cpp, which each test program compiles in).

// How long a test waits for the server before it fails.
inline constexpr int kWaitMs = 10000;

// Runs the event loop until done() holds or timeoutMs have passed; true iff done() holds. Unlike
// QTest::qWaitFor it never sleeps between passes, so a server that answers one request per pass
// of the loop answers a burst at full speed.
bool SpinUntil(const std::function<bool()>& done, int timeoutMs = kWaitMs);

// A temporary Maildir (the inbox, with a "Sent" folder) holding two messages in the inbox, and
// a private runtime folder for the control socket.
struct ControlFixtureFiles {
  ControlFixtureFiles();

  TempDir temp;
  std::filesystem::path maildir;
  std::filesystem::path runtimeDir;
  std::filesystem::path socketPath;  // runtimeDir/tervane/mailclient.sock
};

// Writes a message from "Ann Example <ann@example.org>" with subject into folderDir's new/.
void DeliverTestMessage(const std::filesystem::path& folderDir, const std::string& subject);

// A client of the control socket in this process; the event loop runs while it waits, so the
// server in the same process answers.
class TestClient {
 public:
  explicit TestClient(const std::filesystem::path& socketPath);

  bool connected() const { return socket_.state() == QLocalSocket::ConnectedState; }
  // Sends bytes as they are (no line break added).
  void Send(const QByteArray& bytes);
  // The next answer line, without its line break; empty when none came within kWaitMs.
  std::string ReadLine();
  // Sends line plus a line break and returns the answer line.
  std::string Ask(const std::string& line);
  // Returns true iff the server closes the connection within kWaitMs.
  bool WaitForClose();

 private:
  QLocalSocket socket_;
  QByteArray received_;
};

}  // namespace tervane::testing

#endif  // TERVANE_TESTS_CONTROL_CONTROL_TEST_SUPPORT_H_
