#include "imapstore/mailbox_name.h"

#include <iconv.h>

#include <optional>

#include "imapstore/imap_error.h"

namespace tervane::imap {
namespace {

// text converted by iconv from one coding to another, or nothing when text is not valid in from.
std::optional<std::string> Convert(std::string_view text, const char* to, const char* from) {
  const iconv_t converter = ::iconv_open(to, from);
  if (converter == reinterpret_cast<iconv_t>(-1))
    throw ImapError(std::string("this system's iconv cannot convert ") + from + " to " + to);
  std::string result(text.size() * 4 + 16, '\0');
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  char* out = result.data();
  size_t outLeft = result.size();
  const bool converted =
      ::iconv(converter, &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1) &&
      ::iconv(converter, nullptr, nullptr, &out, &outLeft) != static_cast<size_t>(-1);
  ::iconv_close(converter);
  if (!converted)
    return std::nullopt;
  result.resize(result.size() - outLeft);
  return result;
}

}  // namespace

std::string EncodeMailboxName(std::string_view name) {
  std::optional<std::string> encoded = Convert(name, "UTF-7-IMAP", "UTF-8");
  if (!encoded)
    throw ImapError("the mailbox name \"" + std::string(name) + "\" is not valid UTF-8");
  return *encoded;
}

std::string DecodeMailboxName(std::string_view name) {
  return Convert(name, "UTF-8", "UTF-7-IMAP").value_or(std::string(name));
}

}  // namespace tervane::imap
