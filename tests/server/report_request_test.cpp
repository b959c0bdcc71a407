// The pure parts of the server: reading a report's query, and the per-client rate limit.
#include <gtest/gtest.h>

#include "server/rate_limiter.h"
#include "server/report_request.h"

namespace tervane {
namespace {

constexpr char kDigest[] = "0123456789abcdef0123456789ABCDEF";

struct QueryRow {
  const char* name;
  std::string query;
  std::optional<std::string> address;  // nullopt: malformed
};
void PrintTo(const QueryRow& row, std::ostream* out) {
  *out << row.name;
}

class ReportQueryTest : public ::testing::TestWithParam<QueryRow> {};

TEST_P(ReportQueryTest, ReadsTheAddressOrRefusesTheQuery) {
  const std::optional<ReportRequest> report = ParseReportQuery(GetParam().query);
  ASSERT_EQ(report.has_value(), GetParam().address.has_value());
  if (report) {
    EXPECT_EQ(report->address, *GetParam().address);
    EXPECT_EQ(report->content, "0123456789ABCDEF0123456789ABCDEF");
  }
}

const std::string kContent = std::string("&content=") + kDigest;

INSTANTIATE_TEST_SUITE_P(
    Queries, ReportQueryTest,
    ::testing::Values(
        QueryRow{"plain", "spam=a@b.example" + kContent, "a@b.example"},
        QueryRow{"encoded_and_upper_case", "spam=A%2Bb%26c%40B.example" + kContent,
                 "a+b&c@b.example"},
        QueryRow{"plus_stays_plus", "spam=a+b@b.example" + kContent, "a+b@b.example"},
        QueryRow{"empty_address", "spam=" + kContent, std::nullopt},
        QueryRow{"bad_escape", "spam=x%zz@y.example" + kContent, std::nullopt},
        QueryRow{"escape_cut_short", "spam=x@y.example%4" + kContent, std::nullopt},
        // What Qt's HTTP layer makes of "x%zz@y.example": every '%' escaped.
        QueryRow{"bad_escape_escaped", "spam=x%25zz@y.example" + kContent, std::nullopt},
        QueryRow{"escaped_escape", "spam=x%2541@y.example" + kContent, "x%41@y.example"},
        QueryRow{"content_first", std::string("content=") + kDigest + "&spam=x@y.example",
                 "x@y.example"},
        QueryRow{"other_keys_ignored", "spam=x@y.example&lang=en" + kContent, "x@y.example"},
        QueryRow{"no_spam", std::string("content=") + kDigest, std::nullopt},
        QueryRow{"no_content", "spam=x@y.example", std::nullopt},
        QueryRow{"spam_twice", "spam=x@y.example&spam=z@y.example" + kContent, std::nullopt},
        QueryRow{"short_digest", "spam=x@y.example&content=ABC", std::nullopt},
        QueryRow{"zero_byte", "spam=x%00@y.example" + kContent, std::nullopt},
        QueryRow{"320_bytes", "spam=" + std::string(320, 'a') + kContent, std::string(320, 'a')},
        QueryRow{"321_bytes_after_decoding",
                 "spam=" + std::string(318, 'a') + "%41%41%41" + kContent, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RateLimiterTest, ABurstThenTheRefillRate) {
  RateLimiter limiter(/*perMinute=*/60, /*burst=*/2);
  const auto start = RateLimiter::Clock::time_point{} + std::chrono::hours(1);
  EXPECT_TRUE(limiter.Allow("192.0.2.1", start));
  EXPECT_TRUE(limiter.Allow("192.0.2.1", start));
  EXPECT_FALSE(limiter.Allow("192.0.2.1", start));
  EXPECT_TRUE(limiter.Allow("192.0.2.2", start));  // each client has its own bucket
  EXPECT_FALSE(limiter.Allow("192.0.2.1", start + std::chrono::milliseconds(900)));
  EXPECT_TRUE(limiter.Allow("192.0.2.1", start + std::chrono::milliseconds(1900)));
}

TEST(RateLimiterTest, ARefusedClientIsToldWhenItMayReportAgain) {
  RateLimiter limiter(/*perMinute=*/6, /*burst=*/1);
  const auto start = RateLimiter::Clock::time_point{} + std::chrono::hours(1);
  EXPECT_EQ(limiter.RetryAfter("192.0.2.1", start), std::chrono::seconds(0));  // never seen
  EXPECT_TRUE(limiter.Allow("192.0.2.1", start));
  EXPECT_FALSE(limiter.Allow("192.0.2.1", start));
  EXPECT_EQ(limiter.RetryAfter("192.0.2.1", start), std::chrono::seconds(10));
  EXPECT_EQ(limiter.RetryAfter("192.0.2.1", start + std::chrono::milliseconds(2500)),
            std::chrono::seconds(8));  // 7.5 s, rounded up
  EXPECT_EQ(limiter.RetryAfter("192.0.2.1", start + std::chrono::seconds(10)),
            std::chrono::seconds(0));
}

TEST(RateLimiterTest, ClientsWhoseBucketsRefilledAreForgotten) {
  RateLimiter limiter(60, 5);
  const auto start = RateLimiter::Clock::time_point{} + std::chrono::hours(1);
  for (int i = 0; i < 100000; ++i)
    limiter.Allow("client" + std::to_string(i), start + std::chrono::seconds(i));
  EXPECT_LT(limiter.TrackedClients(), 10000u);
}

}  // namespace
}  // namespace tervane
