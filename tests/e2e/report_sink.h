#ifndef TERVANE_TESTS_E2E_REPORT_SINK_H_
#define TERVANE_TESTS_E2E_REPORT_SINK_H_

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tervane::testing {

// A small HTTP server on 127.0.0.1 that answers every request with an empty 200 and remembers
// each request's target ("/reportspam.php?spam=..."), on a thread of its own so the test can
// wait on other processes meanwhile.
class ReportSink {
 public:
  ReportSink();
  ~ReportSink();
  ReportSink(const ReportSink&) = delete;
  ReportSink& operator=(const ReportSink&) = delete;

  // "127.0.0.1:<port>"
  std::string Host() const;
  std::vector<std::string> Targets() const;

 private:
  void Serve();

  int listener_ = -1;
  uint16_t port_ = 0;
  mutable std::mutex mutex_;
  std::vector<std::string> targets_;
  std::thread thread_;
};

}  // namespace tervane::testing

#endif  // TERVANE_TESTS_E2E_REPORT_SINK_H_
