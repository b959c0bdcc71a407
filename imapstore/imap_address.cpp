#include "imapstore/imap_address.h"

#include <charconv>
#include <optional>

#include "base/hex.h"
#include "imapstore/imap_error.h"

namespace tervane::imap {
namespace {

[[noreturn]] void Refuse(std::string_view why) {
  throw ImapError("not an IMAP account address: " + std::string(why));
}

}  // namespace

ImapAddress ParseImapAddress(std::string_view url) {
  ImapAddress address;
  if (url.starts_with("imaps://")) {
    url.remove_prefix(8);
  } else if (url.starts_with("imap://")) {
    url.remove_prefix(7);
    address.implicitTls = false;
    address.port = 143;
  } else {
    Refuse("it begins with neither imaps:// nor imap://");
  }
  if (url.ends_with('/'))
    url.remove_suffix(1);
  const size_t at = url.rfind('@');
  if (at == std::string_view::npos || at == 0)
    Refuse("it names no user (imaps://user@host)");
  const std::string_view user = url.substr(0, at);
  if (user.find(':') != std::string_view::npos)
    Refuse("it holds a password; give the password by command or file instead");
  const std::optional<std::string> decoded = PercentDecoded(user);
  if (!decoded)
    Refuse("a '%' in the user name is not followed by two hex digits");
  address.user = *decoded;

  std::string_view hostPort = url.substr(at + 1);
  std::optional<std::string_view> port;
  if (hostPort.starts_with('[')) {
    const size_t close = hostPort.find(']');
    if (close == std::string_view::npos)
      Refuse("an IPv6 address lacks its closing ']'");
    address.host = hostPort.substr(1, close - 1);
    hostPort.remove_prefix(close + 1);
    if (!hostPort.empty() && !hostPort.starts_with(':'))
      Refuse("something follows the IPv6 address");
    if (!hostPort.empty())
      port = hostPort.substr(1);
  } else {
    const size_t colon = hostPort.find(':');
    address.host = hostPort.substr(0, colon);
    if (colon != std::string_view::npos)
      port = hostPort.substr(colon + 1);
  }
  if (address.host.empty() || address.host.find_first_of("/?#") != std::string::npos)
    Refuse("it names no host, or more than a host");
  if (port) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(port->data(), port->data() + port->size(), value);
    if (error != std::errc() || end != port->data() + port->size() || value == 0 || value > 65535)
      Refuse("the port is not a number from 1 to 65535");
    address.port = static_cast<uint16_t>(value);
  }
  return address;
}

}  // namespace tervane::imap
