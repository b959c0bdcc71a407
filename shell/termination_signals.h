#ifndef TERVANE_SHELL_TERMINATION_SIGNALS_H_
#define TERVANE_SHELL_TERMINATION_SIGNALS_H_

#include <signal.h>

#include <QObject>
#include <QSocketNotifier>
#include <array>

#include "base/unique_fd.h"

namespace tervane {

// Turns SIGTERM and SIGINT into the signal TerminationRequested() on the main thread, so the
// program can leave its event loop and destroy its windows normally instead of dying wherever
// it happens to be. The signal handler only writes one byte into a pipe; a QSocketNotifier on
// the pipe's other end emits the Qt signal. The previous handlers come back on destruction.
// REQUIRES: at most one instance at a time, made on the thread that runs the event loop.
class TerminationSignals : public QObject {
  Q_OBJECT

 public:
  // Installs the handlers. Throws std::system_error when no pipe can be made.
  explicit TerminationSignals(QObject* parent = nullptr);
  ~TerminationSignals() override;
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

  // True once TerminationRequested() has been emitted: lets start-up code that ran an event loop
  // of its own (a message box) learn that the program is to end.
  bool requested() const { return requested_; }
  // Returns true iff a signal has arrived, looking at once rather than waiting for the event loop:
  // for a long task that keeps it waiting. Emits TerminationRequested() for a signal it finds.
  bool Poll();

  // Ends every event loop of the main thread, the application's and any a message box or
  // dialog runs inside it, and makes later ones return at once; connect TerminationRequested()
  // to it. Unlike QCoreApplication::quit() it cannot be refused by a window that will not close,
  // and it works before QApplication::exec() is running.
  static void EndEventLoops();

 signals:
  // SIGTERM or SIGINT arrived (once per batch of signals read together).
  void TerminationRequested();

 private:
  struct Pipe {
    UniqueFd readEnd;
    UniqueFd writeEnd;
  };
  // Returns a new non-blocking, close-on-exec pipe. Throws std::system_error.
  static Pipe MakePipe();
  TerminationSignals(Pipe pipe, QObject* parent);
  void ReadPipe();

  UniqueFd readEnd_;
  UniqueFd writeEnd_;
  QSocketNotifier notifier_;  // after the pipe: gone before its descriptor is closed
  bool requested_ = false;
  std::array<struct sigaction, 2> previous_{};
};

}  // namespace tervane

#endif  // TERVANE_SHELL_TERMINATION_SIGNALS_H_
