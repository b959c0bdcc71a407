#ifndef TERVANE_SHELL_LOOKUP_WARMING_H_
#define TERVANE_SHELL_LOOKUP_WARMING_H_

#include <QTimer>
#include <chrono>

#include "store/lookup_warmer.h"

namespace tervane {

struct FilterDatabase;

// How long one slice of warming keeps the event loop.
inline constexpr std::chrono::microseconds kWarmingSlice = std::chrono::milliseconds(1);

// Warms the lookups of the open filter database (LookupWarmer) from the main thread's event loop,
// a slice at a time, each from a zero timer: whatever waits in between (new mail, a request, a
// click) is handled before the next slice, so nothing waits for more than one slice, and the
// attach never waits for any. REQUIRES: db outlives this; made and used on the main thread.
class LookupWarming {
 public:
  explicit LookupWarming(FilterDatabase& db, std::chrono::microseconds slice = kWarmingSlice);

  // Starts warming from the beginning on what db has open now: after an attach, or after the
  // reference list was reopened.
  void Start();
  // Stops warming: the database is closing.
  void Stop();
  // True iff warming has more to read.
  bool Active() const { return timer_.isActive(); }

 private:
  LookupWarmer warmer_;
  const std::chrono::microseconds slice_;
  QTimer timer_;
};

}  // namespace tervane

#endif  // TERVANE_SHELL_LOOKUP_WARMING_H_
