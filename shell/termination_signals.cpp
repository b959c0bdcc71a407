#include "shell/termination_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>

#include <cerrno>
#include <system_error>
#include <utility>

namespace tervane {
namespace {

constexpr std::array<int, 2> kSignals = {SIGTERM, SIGINT};

// The pipe's write end for the handler; -1 while no TerminationSignals lives.
volatile sig_atomic_t gWriteFd = -1;

void OnTerminationSignal(int /*signal*/) {
  const int savedErrno = errno;
  const char byte = 1;
  // A full pipe already holds a wake-up, so a failed write loses nothing.
  [[maybe_unused]] const ssize_t written = ::write(gWriteFd, &byte, 1);
  errno = savedErrno;
}

}  // namespace

TerminationSignals::Pipe TerminationSignals::MakePipe() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
    throw std::system_error(errno, std::generic_category(), "pipe2");
  }
  return Pipe{UniqueFd(fds[0]), UniqueFd(fds[1])};
}

TerminationSignals::TerminationSignals(QObject* parent) : TerminationSignals(MakePipe(), parent) {}

TerminationSignals::TerminationSignals(Pipe pipe, QObject* parent)
    : QObject(parent),
      readEnd_(std::move(pipe.readEnd)),
      writeEnd_(std::move(pipe.writeEnd)),
      notifier_(readEnd_.get(), QSocketNotifier::Read) {
  connect(&notifier_, &QSocketNotifier::activated, this, &TerminationSignals::ReadPipe);

  gWriteFd = writeEnd_.get();
  struct sigaction action = {};
  action.sa_handler = &OnTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  // sigaction cannot fail for these two signals with a valid action.
  for (size_t i = 0; i < kSignals.size(); ++i) {
    ::sigaction(kSignals[i], &action, &previous_[i]);
  }
}

TerminationSignals::~TerminationSignals() {
  for (size_t i = 0; i < kSignals.size(); ++i) {
    ::sigaction(kSignals[i], &previous_[i], nullptr);
  }
  gWriteFd = -1;
}

void TerminationSignals::ReadPipe() {
  char buffer[64];
  bool signalled = false;
  while (::read(readEnd_.get(), buffer, sizeof buffer) > 0) {
    signalled = true;
  }
  if (signalled) {
    requested_ = true;
    emit TerminationRequested();
  }
}

bool TerminationSignals::Poll() {
  ReadPipe();
  return requested_;
}

void TerminationSignals::EndEventLoops() {
  QCoreApplication::exit(0);
}

}  // namespace tervane
