#include "imapstore/sigpipe_guard.h"

#include <pthread.h>

#include <ctime>

namespace tervane::imap {
namespace {

sigset_t OnlySigpipe() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGPIPE);
  return set;
}

bool SigpipePending() {
  sigset_t pending;
  sigpending(&pending);
  return sigismember(&pending, SIGPIPE) == 1;
}

}  // namespace

SigpipeGuard::SigpipeGuard() {
  const sigset_t sigpipe = OnlySigpipe();
  pthread_sigmask(SIG_BLOCK, &sigpipe, &previousMask_);
  pendingBefore_ = SigpipePending();
}

SigpipeGuard::~SigpipeGuard() {
  if (!pendingBefore_ && SigpipePending()) {
    const sigset_t sigpipe = OnlySigpipe();
    const timespec now{0, 0};
    sigtimedwait(&sigpipe, nullptr, &now);
  }
  pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
}

}  // namespace tervane::imap
