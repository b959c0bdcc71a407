// The sender, recipient and validity rules over any header text.
#include "engine/address_rules.h"
#include "tests/fuzz/fuzz_check.h"

using tervane::fuzz::AsText;
using tervane::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text = AsText(data, size);
  const std::string sender = tervane::ExtractSenderAddress(text);
  const std::string recipient = tervane::ExtractRecipientAddress(text);
  // An address is the text between "<" and the first ">" after it: a piece of the header.
  Check(sender.find('>') == std::string::npos, "the sender holds no '>'");
  Check(recipient.find('>') == std::string::npos, "the recipient holds no '>'");
  Check(text.find(sender) != std::string_view::npos, "the sender is a piece of the header");
  Check(text.find(recipient) != std::string_view::npos, "the recipient is a piece of the header");
  if (tervane::IsValidEmail(text)) {
    const size_t at = text.find('@');
    Check(at != 0 && at != std::string_view::npos, "a valid address has an '@' after its start");
  }
  tervane::IsValidEmail(sender);
  tervane::IsValidEmail(recipient);
  return 0;
}
