#ifndef TERVANE_TESTS_UI_RECORDING_SHELL_OPENER_H_
#define TERVANE_TESTS_UI_RECORDING_SHELL_OPENER_H_

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "ui/shell_opener.h"

namespace tervane::testing {

// One call of ShellOpener::Open.
struct ShellCall {
  std::string verb;
  std::string file;
  ShowCommand show = ShowCommand::kShow;
  bool operator==(const ShellCall&) const = default;
};

inline void PrintTo(const ShellCall& call, std::ostream* os) {
  *os << "{verb \"" << call.verb << "\", file \"" << call.file << "\", show "
      << static_cast<int>(call.show) << "}";
}

// A ShellOpener that opens nothing and remembers every call, in order.
class RecordingShellOpener : public ShellOpener {
 public:
  void Open(std::string_view verb, std::string_view file, ShowCommand show) override {
    calls.push_back({std::string(verb), std::string(file), show});
  }

  std::vector<ShellCall> calls;
};

}  // namespace tervane::testing

#endif  // TERVANE_TESTS_UI_RECORDING_SHELL_OPENER_H_
