#ifndef TERVANE_IMAPSTORE_IMAP_ADDRESS_H_
#define TERVANE_IMAPSTORE_IMAP_ADDRESS_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace tervane::imap {

// An IMAP account as the user writes it: "imaps://user@host[:port]" (TLS from the first byte,
// port 993 unless given) or "imap://user@host[:port]" (STARTTLS, port 143 unless given). The user
// may be percent-encoded ("me%40example.org") or hold '@' itself (the host follows the last one);
// an IPv6 host is written in brackets ("[::1]").
struct ImapAddress {
  bool implicitTls = true;
  std::string user;
  std::string host;  // without brackets
  uint16_t port = 993;
};

// Parses url. Throws ImapError saying what is wrong; an address holding a password
// ("user:secret@host") is refused, and the message does not repeat it.
ImapAddress ParseImapAddress(std::string_view url);

}  // namespace tervane::imap

#endif  // TERVANE_IMAPSTORE_IMAP_ADDRESS_H_
