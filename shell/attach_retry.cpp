#include "shell/attach_retry.h"

#include <utility>

namespace tervane {

AttachRetry::AttachRetry(std::chrono::milliseconds interval, std::function<bool()> attempt,
                         QObject* parent)
    : QObject(parent), attempt_(std::move(attempt)) {
  timer_.setInterval(interval);
  connect(&timer_, &QTimer::timeout, this, &AttachRetry::TryNow);
}

void AttachRetry::Start() {
  timer_.start();
}

void AttachRetry::Stop() {
  timer_.stop();
}

bool AttachRetry::TryNow() {
  if (!active())
    return false;
  if (!attempt_())
    return false;
  Stop();
  return true;
}

}  // namespace tervane
