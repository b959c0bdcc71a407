#ifndef TERVANE_LOG_DECISION_LOG_H_
#define TERVANE_LOG_DECISION_LOG_H_

#include <string_view>

namespace tervane {

// Where the program says why mail moved: one line per decision (a verdict of the filter, a Spam
// or Not Spam, a harvest, a compaction, a report that could not be sent). The log adds the time.
class DecisionLog {
 public:
  virtual ~DecisionLog() = default;
  // Records one decision; text is one line, without a line break. Never throws.
  virtual void Write(std::string_view text) = 0;
};

// A log that keeps nothing, for callers that have no use for one.
class NullDecisionLog : public DecisionLog {
 public:
  void Write(std::string_view) override {}
};

}  // namespace tervane

#endif  // TERVANE_LOG_DECISION_LOG_H_
