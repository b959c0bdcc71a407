#ifndef TERVANE_CONTROL_CONTROL_CONNECTION_H_
#define TERVANE_CONTROL_CONTROL_CONNECTION_H_

#include <QObject>
#include <QSocketNotifier>
#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <string_view>

#include "base/unique_fd.h"

namespace tervane {

// The most answer bytes a connection keeps for a client that does not read them; past this it
// answers nothing more until the client has read enough.
inline constexpr size_t kMaxUnsentControlBytes = 1024 * 1024;

// One client of the control socket, over its connected descriptor: reads request lines and
// answers each with one line, in order.
//
// Promises: at most one request of this client is answered per pass of the event loop, so no
// client holds up the others, the new-mail watcher or a signal to end. Memory stays bounded: it
// reads nothing more while a received line waits for its turn (the client's writes then block
// in the kernel), and answers nothing more while over kMaxUnsentControlBytes of answers wait for
// the client to read them. A line longer than kMaxControlLineBytes is refused with one answer,
// after which the connection closes. The connection deletes itself (deleteLater) when the client
// leaves, when writing to the client fails, or once the answers to a client that stopped sending
// are written.
// REQUIRES: used on the thread of the event loop that serves it.
class ControlConnection : public QObject {
  Q_OBJECT

 public:
  // Answers one request line (without its line break) with one answer line (without its line
  // break). It may run a nested event loop; this connection answers nothing else meanwhile.
  using Answerer = std::function<std::string(std::string_view line)>;

  // Takes over fd, a connected stream socket (made non-blocking here).
  ControlConnection(UniqueFd fd, Answerer answer, QObject* parent);
  ~ControlConnection() override;

 private:
  void ReadMore();
  void WriteMore();
  void TakeTurn();
  void QueueTurn();
  void Send(std::string line);
  void RefuseOverlongLine();
  void CloseWhenWritten();
  void Leave();
  size_t Unsent() const { return unsentBytes_; }

  UniqueFd fd_;  // first: the notifiers go before it closes
  Answerer answer_;
  QSocketNotifier reader_;
  QSocketNotifier writer_;
  std::string input_;  // received bytes; those before inputStart_ are answered
  size_t inputStart_ = 0;
  std::deque<std::string> output_;  // answers not yet written, whole lines
  size_t outputStart_ = 0;          // bytes of output_.front() already written
  size_t unsentBytes_ = 0;
  bool inputEnded_ = false;  // the client sends nothing more
  bool closeWhenWritten_ = false;
  bool busy_ = false;  // a request of this client is being answered
  bool gone_ = false;
  bool turnQueued_ = false;
};

}  // namespace tervane

#endif  // TERVANE_CONTROL_CONTROL_CONNECTION_H_
