#ifndef TERVANE_ENGINE_CLOCK_H_
#define TERVANE_ENGINE_CLOCK_H_

#include "engine/date_time.h"

namespace tervane {

// Where the engine learns today's date, so tests can pin it.
class IClock {
 public:
  virtual ~IClock() = default;
  // Today's local calendar date at 00:00.
  virtual TDateTime Today() const = 0;
};

// The machine's local calendar.
class SystemClock : public IClock {
 public:
  TDateTime Today() const override { return LocalToday(); }
};

}  // namespace tervane

#endif  // TERVANE_ENGINE_CLOCK_H_
