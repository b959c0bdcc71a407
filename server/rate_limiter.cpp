#include "server/rate_limiter.h"

#include <algorithm>
#include <cmath>

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
    bucket.tokens = TokensAt(bucket, now);
    bucket.updated = std::max(bucket.updated, now);
  }
  if (bucket.tokens < 1.0)
    return false;
  bucket.tokens -= 1.0;
  return true;
}

std::chrono::seconds RateLimiter::RetryAfter(const std::string& client,
                                             Clock::time_point now) const {
  const auto it = buckets_.find(client);
  if (perSecond_ <= 0 || it == buckets_.end())
    return std::chrono::seconds(0);
  const double missing = 1.0 - TokensAt(it->second, now);
  if (missing <= 0)
    return std::chrono::seconds(0);
  return std::chrono::seconds(static_cast<int64_t>(std::ceil(missing / perSecond_)));
}

double RateLimiter::TokensAt(const Bucket& bucket, Clock::time_point now) const {
  const double seconds = std::chrono::duration<double>(now - bucket.updated).count();
  return std::min(burst_, bucket.tokens + std::max(0.0, seconds) * perSecond_);
}

void RateLimiter::ForgetFullBuckets(Clock::time_point now) {
  std::erase_if(buckets_, [&](const auto& entry) { return TokensAt(entry.second, now) >= burst_; });
  // Sweep again only once the map has doubled, so a sweep costs O(1) per report on average.
  forgetAt_ = std::max(kFirstSweep, 2 * buckets_.size());
}

}  // namespace tervane
