#ifndef TERVANE_TESTS_SUPPORT_SCOPED_ENV_H_
#define TERVANE_TESTS_SUPPORT_SCOPED_ENV_H_

#include <stdlib.h>

#include <optional>
#include <string>

namespace tervane::testing {

// Sets (or, given nullopt, removes) one environment variable and puts its old state back when
// it goes away.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, const std::optional<std::string>& value) : name_(std::move(name)) {
    if (const char* old = ::getenv(name_.c_str())) {
      old_ = old;
    }
    Set(value);
  }
  ~ScopedEnv() { Set(old_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  void Set(const std::optional<std::string>& value) {
    if (value) {
      ::setenv(name_.c_str(), value->c_str(), 1);
    } else {
      ::unsetenv(name_.c_str());
    }
  }

  std::string name_;
  std::optional<std::string> old_;
};

}  // namespace tervane::testing

#endif  // TERVANE_TESTS_SUPPORT_SCOPED_ENV_H_
