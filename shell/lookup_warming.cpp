#include "shell/lookup_warming.h"

namespace tervane {

LookupWarming::LookupWarming(FilterDatabase& db, std::chrono::microseconds slice)
    : warmer_(db), slice_(slice) {
  timer_.setInterval(0);
  QObject::connect(&timer_, &QTimer::timeout, [this] {
    if (!warmer_.WarmFor(slice_))
      timer_.stop();
  });
}

void LookupWarming::Start() {
  warmer_.Restart();
  timer_.start();
}

void LookupWarming::Stop() {
  timer_.stop();
}

}  // namespace tervane
