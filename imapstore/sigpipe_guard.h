#ifndef TERVANE_IMAPSTORE_SIGPIPE_GUARD_H_
#define TERVANE_IMAPSTORE_SIGPIPE_GUARD_H_

#include <signal.h>

namespace tervane::imap {

// While it lives, writing to a connection the server has cut fails with EPIPE in this thread
// instead of raising SIGPIPE, which would end the program; a SIGPIPE raised meanwhile is
// discarded. Other threads and child processes keep their own handling of the signal.
class SigpipeGuard {
 public:
  SigpipeGuard();
  ~SigpipeGuard();
  SigpipeGuard(const SigpipeGuard&) = delete;
  SigpipeGuard& operator=(const SigpipeGuard&) = delete;

 private:
  sigset_t previousMask_;
  bool pendingBefore_;  // a SIGPIPE that was already waiting is not ours to discard
};

}  // namespace tervane::imap

#endif  // TERVANE_IMAPSTORE_SIGPIPE_GUARD_H_
