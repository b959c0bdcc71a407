// The control socket's lines: any line decodes as a request and as an answer or is refused with
// a reason, and what decodes encodes back to one line that decodes to the same.
#include <string>
#include <variant>

#include "control/control_protocol.h"
#include "tests/fuzz/fuzz_check.h"

using tervane::fuzz::AsText;
using tervane::fuzz::Check;

namespace {

// Decodes line, then checks that its encoding is one line that decodes and encodes to itself.
template <typename Decode, typename Encode>
void CheckRoundTrip(std::string_view line, Decode decode, Encode encode) {
  const auto decoded = decode(line);
  if (const auto* reason = std::get_if<std::string>(&decoded)) {
    Check(reason->find('\n') == std::string::npos, "a reason is one line");
    return;
  }
  const std::string encoded = encode(std::get<0>(decoded));
  Check(encoded.find('\n') == std::string::npos, "an encoded line has no line break");
  const auto again = decode(encoded);
  Check(again.index() == 0, "an encoded line decodes");
  Check(encode(std::get<0>(again)) == encoded, "an encoded line decodes to the same");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view line = AsText(data, size);
  CheckRoundTrip(line, tervane::DecodeRequest, tervane::EncodeRequest);
  CheckRoundTrip(line, tervane::DecodeAnswer, tervane::EncodeAnswer);
  return 0;
}
