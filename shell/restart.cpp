#include "shell/restart.h"

#include <QLocalSocket>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <system_error>
#include <thread>

namespace tervane {
namespace {

namespace fs = std::filesystem;

constexpr std::chrono::milliseconds kPollInterval{50};

// Returns true iff a server accepts a connection at socketPath.
bool SomethingAnswers(const fs::path& socketPath) {
  QLocalSocket socket;
  socket.connectToServer(QString::fromStdString(socketPath.string()));
  return socket.waitForConnected(static_cast<int>(kPollInterval.count()));
}

}  // namespace

bool TakeRestartedMark() {
  const char* value = std::getenv(kRestartedVariable);
  const bool restarted = value != nullptr && std::string_view(value) == "1";
  ::unsetenv(kRestartedVariable);
  return restarted;
}

void StartFreshInstance(const fs::path& programFile) {
  std::error_code error;
  // An absolute path, so a relative name is never looked up on PATH instead.
  const fs::path program = fs::absolute(programFile, error);
  if (error || !fs::exists(program, error)) {
    return;
  }
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QString::fromLatin1(kRestartedVariable), QStringLiteral("1"));
  QProcess process;
  process.setProgram(QString::fromStdString(program.string()));
  process.setProcessEnvironment(environment);
  process.startDetached();
}

bool WaitUntilSocketFree(const fs::path& socketPath, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (SomethingAnswers(socketPath)) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(kPollInterval, deadline - now));
  }
  return true;
}

}  // namespace tervane
