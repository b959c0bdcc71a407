#include "shell/termination_signals.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <QSignalSpy>
#include <atomic>
#include <memory>

namespace tervane {
namespace {

std::atomic<int> gPreviousHandlerCalls{0};

void PreviousHandler(int /*signal*/) {
  ++gPreviousHandlerCalls;
}

// Installs PreviousHandler for one signal while it lives, standing for whatever handler the
// process had before TerminationSignals.
class ScopedHandler {
 public:
  explicit ScopedHandler(int signal) : signal_(signal) {
    struct sigaction action = {};
    action.sa_handler = &PreviousHandler;
    sigemptyset(&action.sa_mask);
    sigaction(signal_, &action, &saved_);
  }
  ~ScopedHandler() { sigaction(signal_, &saved_, nullptr); }
  ScopedHandler(const ScopedHandler&) = delete;
  ScopedHandler& operator=(const ScopedHandler&) = delete;

 private:
  int signal_;
  struct sigaction saved_ = {};
};

TEST(TerminationSignalsTest, SignalBecomesRequestAndPreviousHandlerReturns) {
  for (const int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal);
    const ScopedHandler previous(signal);
    gPreviousHandlerCalls = 0;

    auto termination = std::make_unique<TerminationSignals>();
    QSignalSpy spy(termination.get(), &TerminationSignals::TerminationRequested);
    EXPECT_FALSE(termination->requested());
    ASSERT_EQ(raise(signal), 0);
    // Still alive here: the signal only asked for the event loop to end.
    ASSERT_TRUE(spy.wait(5000));
    EXPECT_EQ(spy.count(), 1);
    EXPECT_TRUE(termination->requested());
    EXPECT_EQ(gPreviousHandlerCalls, 0);

    termination.reset();
    ASSERT_EQ(raise(signal), 0);
    EXPECT_EQ(gPreviousHandlerCalls, 1);
  }
}

TEST(TerminationSignalsTest, EachLaterSignalIsReportedAgain) {
  const ScopedHandler previous(SIGTERM);
  TerminationSignals termination;
  QSignalSpy spy(&termination, &TerminationSignals::TerminationRequested);
  for (int i = 1; i <= 3; ++i) {
    ASSERT_EQ(raise(SIGTERM), 0);
    ASSERT_TRUE(spy.wait(5000));
    EXPECT_EQ(spy.count(), i);
  }
}

}  // namespace
}  // namespace tervane
