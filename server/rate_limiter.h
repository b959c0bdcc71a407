#ifndef TERVANE_SERVER_RATE_LIMITER_H_
#define TERVANE_SERVER_RATE_LIMITER_H_

// How many reports one client address may send: a bucket of `burst` reports per address, filled
// again at `perMinute` reports a minute. A client that finds its bucket empty is refused (429)
// until it refills, told when to try again. Memory stays bounded: buckets that have filled up again
// are forgotten. Not thread-safe; each server process counts for itself.

#include <chrono>
#include <cstddef>
#include <string>
#include <unordered_map>

namespace tervane {

class RateLimiter {
 public:
  using Clock = std::chrono::steady_clock;

  // perMinute 0 switches the limit off. REQUIRES: perMinute >= 0, burst >= 1.
  RateLimiter(double perMinute, double burst);

  // True iff client may send one more report at now (and counts it).
  bool Allow(const std::string& client, Clock::time_point now);

  // The whole seconds (at least 1) from now until client may send one more report; 0 when it
  // may now.
  std::chrono::seconds RetryAfter(const std::string& client, Clock::time_point now) const;

  // Buckets currently remembered.
  size_t TrackedClients() const { return buckets_.size(); }

 private:
  struct Bucket {
    double tokens;
    Clock::time_point updated;
  };
  // Drops the buckets that are full again at now.
  void ForgetFullBuckets(Clock::time_point now);
  // The reports bucket holds at now.
  double TokensAt(const Bucket& bucket, Clock::time_point now) const;

  double perSecond_;
  double burst_;
  size_t forgetAt_;
  std::unordered_map<std::string, Bucket> buckets_;
};

}  // namespace tervane

#endif  // TERVANE_SERVER_RATE_LIMITER_H_
