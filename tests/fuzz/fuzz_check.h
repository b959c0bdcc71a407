#ifndef TERVANE_TESTS_FUZZ_FUZZ_CHECK_H_
#define TERVANE_TESTS_FUZZ_FUZZ_CHECK_H_

// What every fuzz target shares: the input as text, and a check that stops the run.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace tervane::fuzz {

// The fuzzer's bytes as text (any bytes, NUL included).
inline std::string_view AsText(const uint8_t* data, size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// Stops the run as a crash (libFuzzer keeps the input) when a promise of the code under test
// was broken. what names the promise.
inline void Check(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "broken promise: %s\n", what);
    std::abort();
  }
}

}  // namespace tervane::fuzz

#endif  // TERVANE_TESTS_FUZZ_FUZZ_CHECK_H_
