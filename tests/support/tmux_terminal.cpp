#include "tests/support/tmux_terminal.h"

#include <unistd.h>

#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <atomic>

namespace tervane::testing {
namespace {

std::atomic<int> terminals{0};

}  // namespace

std::unique_ptr<TmuxTerminal> TmuxTerminal::Start(const std::string& command,
                                                  const QProcessEnvironment& environment,
                                                  std::string* reason) {
  if (QStandardPaths::findExecutable("tmux").isEmpty()) {
    *reason = "tmux is not installed";
    return nullptr;
  }
  const QString socket = QString("tervane-test-%1-%2").arg(::getpid()).arg(++terminals);
  std::unique_ptr<TmuxTerminal> terminal(new TmuxTerminal(socket, environment));
  QProcess tmux;
  tmux.setProcessEnvironment(environment);
  tmux.start("tmux", {"-L", socket, "-f", "/dev/null", "new-session", "-d", "-x", "120", "-y", "40",
                      QString::fromStdString(command)});
  if (!tmux.waitForFinished(10000) || tmux.exitCode() != 0) {
    *reason = "tmux cannot start: " + tmux.readAllStandardError().toStdString();
    return nullptr;
  }
  return terminal;
}

TmuxTerminal::~TmuxTerminal() {
  Tmux({"kill-server"});
}

std::string TmuxTerminal::Tmux(const QStringList& arguments) const {
  QProcess tmux;
  tmux.setProcessEnvironment(environment_);
  tmux.start("tmux", QStringList{"-L", socket_} + arguments);
  tmux.waitForFinished(10000);
  return tmux.readAllStandardOutput().toStdString();
}

void TmuxTerminal::Keys(const QStringList& keys) {
  for (const QString& key : keys) {
    const bool named = key == "Enter" || key == "Escape" || key == "Up" || key == "Down";
    Tmux(named ? QStringList{"send-keys", "-t", "0", key}
               : QStringList{"send-keys", "-t", "0", "-l", key});
  }
}

std::string TmuxTerminal::Screen() const {
  return Tmux({"capture-pane", "-p", "-t", "0"});
}

bool TmuxTerminal::WaitFor(const std::string& text, std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (Screen().find(text) == std::string::npos) {
    if (std::chrono::steady_clock::now() >= deadline)
      return false;
    QThread::msleep(50);
  }
  return true;
}

}  // namespace tervane::testing
