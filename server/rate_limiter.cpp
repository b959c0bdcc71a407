#include "server/rate_limiter.h"

#include <algorithm>

namespace tervane {
namespace {

constexpr size_t kFirstSweep = 4096;

}  // namespace

RateLimiter::RateLimiter(double perMinute, double burst)
    : perSecond_(perMinute / 60.0), burst_(burst), forgetAt_(kFirstSweep) {}

bool RateLimiter::Allow(const std::string& client, Clock::time_point now) {
  if (perSecond_ <= 0)
    return true;
  if (buckets_.size() >= forgetAt_)
    ForgetFullBuckets(now);
  auto [it, inserted] = buckets_.try_emplace(client, Bucket{burst_, now});
  Bucket& bucket = it->second;
  if (!inserted) {
    const double seconds = std::chrono::duration<double>(now - bucket.updated).count();
    bucket.tokens = std::min(burst_, bucket.tokens + std::max(0.0, seconds) * perSecond_);
    bucket.updated = std::max(bucket.updated, now);
  }
  if (bucket.tokens < 1.0)
    return false;
  bucket.tokens -= 1.0;
  return true;
}

void RateLimiter::ForgetFullBuckets(Clock::time_point now) {
  std::erase_if(buckets_, [&](const auto& entry) {
    const double seconds = std::chrono::duration<double>(now - entry.second.updated).count();
    return entry.second.tokens + seconds * perSecond_ >= burst_;
  });
  // Sweep again only once the map has doubled, so a sweep costs O(1) per report on average.
  forgetAt_ = std::max(kFirstSweep, 2 * buckets_.size());
}

}  // namespace tervane
