#include "control/control_connection.h"

#include <fcntl.h>
#include <sys/socket.h>

#include <QMetaObject>
#include <QPointer>
#include <cerrno>
#include <utility>

#include "base/fd_io.h"
#include "control/control_protocol.h"

namespace tervane {
namespace {

constexpr size_t kReadChunkBytes = 16 * 1024;

}  // namespace

ControlConnection::ControlConnection(UniqueFd fd, Answerer answer, QObject* parent)
    : QObject(parent),
      fd_(std::move(fd)),
      answer_(std::move(answer)),
      reader_(fd_.get(), QSocketNotifier::Read),
      writer_(fd_.get(), QSocketNotifier::Write) {
  ::fcntl(fd_.get(), F_SETFL, ::fcntl(fd_.get(), F_GETFL) | O_NONBLOCK);
  writer_.setEnabled(false);
  connect(&reader_, &QSocketNotifier::activated, this, &ControlConnection::ReadMore);
  connect(&writer_, &QSocketNotifier::activated, this, &ControlConnection::WriteMore);
}

ControlConnection::~ControlConnection() = default;

// Reads one chunk. Called only while no complete line waits (the reader is off otherwise).
void ControlConnection::ReadMore() {
  if (inputStart_ > 0) {
    input_.erase(0, inputStart_);
    inputStart_ = 0;
  }
  char chunk[kReadChunkBytes];
  const ssize_t received = ::recv(fd_.get(), chunk, sizeof chunk, 0);
  if (received > 0) {
    input_.append(chunk, static_cast<size_t>(received));
  } else if (received == 0) {
    inputEnded_ = true;
  } else if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
    return;
  } else {
    Leave();
    return;
  }
  TakeTurn();
}

// Answers the next waiting line, or decides what to wait for: more input, or room for output.
void ControlConnection::TakeTurn() {
  turnQueued_ = false;
  if (busy_ || gone_ || closeWhenWritten_) {
    return;
  }
  if (Unsent() > kMaxUnsentControlBytes) {
    reader_.setEnabled(false);  // WriteMore takes the next turn once the client has read
    return;
  }
  const size_t end = input_.find('\n', inputStart_);
  const size_t lineBytes = (end == std::string::npos ? input_.size() : end) - inputStart_;
  if (lineBytes > kMaxControlLineBytes) {
    RefuseOverlongLine();
    return;
  }
  if (end == std::string::npos) {
    if (inputEnded_) {
      CloseWhenWritten();  // a half line from a client that stopped sending is dropped
    } else {
      reader_.setEnabled(true);
    }
    return;
  }
  reader_.setEnabled(false);
  std::string line = input_.substr(inputStart_, lineBytes);
  inputStart_ = end + 1;
  if (line.ends_with('\r')) {
    line.pop_back();
  }
  busy_ = true;
  const QPointer<ControlConnection> self(this);  // the answer may end the whole server
  std::string answer = answer_(line);
  if (!self) {
    return;
  }
  busy_ = false;
  if (gone_) {
    deleteLater();
    return;
  }
  Send(std::move(answer));
  QueueTurn();
}

// The next turn comes in a later pass of the event loop, after every other waiting event.
void ControlConnection::QueueTurn() {
  if (turnQueued_ || gone_) {
    return;
  }
  turnQueued_ = true;
  QMetaObject::invokeMethod(this, &ControlConnection::TakeTurn, Qt::QueuedConnection);
}

void ControlConnection::Send(std::string line) {
  line += '\n';
  unsentBytes_ += line.size();
  output_.push_back(std::move(line));
  WriteMore();
}

void ControlConnection::WriteMore() {
  while (!output_.empty()) {
    const std::string& front = output_.front();
    const ssize_t sent = RetryOnEintr([&] {
      return ::send(fd_.get(), front.data() + outputStart_, front.size() - outputStart_,
                    MSG_NOSIGNAL | MSG_DONTWAIT);
    });
    if (sent < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        break;
      }
      Leave();  // the client has gone
      return;
    }
    outputStart_ += static_cast<size_t>(sent);
    unsentBytes_ -= static_cast<size_t>(sent);
    if (outputStart_ == front.size()) {
      output_.pop_front();
      outputStart_ = 0;
    }
  }
  writer_.setEnabled(!output_.empty());
  if (output_.empty() && closeWhenWritten_) {
    Leave();
    return;
  }
  if (Unsent() <= kMaxUnsentControlBytes) {
    QueueTurn();
  }
}

void ControlConnection::RefuseOverlongLine() {
  Send(EncodeError("request line longer than " + std::to_string(kMaxControlLineBytes) + " bytes"));
  if (!gone_) {
    CloseWhenWritten();
  }
}

// Reads nothing more; goes once every answer is written.
void ControlConnection::CloseWhenWritten() {
  closeWhenWritten_ = true;
  reader_.setEnabled(false);
  input_.clear();
  inputStart_ = 0;
  if (output_.empty()) {
    Leave();
  }
}

void ControlConnection::Leave() {
  gone_ = true;
  reader_.setEnabled(false);
  writer_.setEnabled(false);
  if (!busy_) {
    deleteLater();
  }
}

}  // namespace tervane
