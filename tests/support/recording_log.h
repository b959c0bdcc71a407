#ifndef TERVANE_TESTS_SUPPORT_RECORDING_LOG_H_
#define TERVANE_TESTS_SUPPORT_RECORDING_LOG_H_

#include <string>
#include <string_view>
#include <vector>

#include "log/decision_log.h"

namespace tervane::testing {

// Keeps every line written to it, in order.
class RecordingLog : public DecisionLog {
 public:
  void Write(std::string_view text) override { lines.emplace_back(text); }
  std::vector<std::string> lines;
};

}  // namespace tervane::testing

#endif  // TERVANE_TESTS_SUPPORT_RECORDING_LOG_H_
