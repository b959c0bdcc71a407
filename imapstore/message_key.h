#ifndef TERVANE_IMAPSTORE_MESSAGE_KEY_H_
#define TERVANE_IMAPSTORE_MESSAGE_KEY_H_

#include <cstdint>
#include <string_view>

namespace tervane::imap {

// What tells one message from another across mailboxes, where UIDs do not: a 64-bit digest of
// its Message-ID, or of its whole header section when it has none (a move keeps the bytes).
using MessageKey = uint64_t;

// The key of the message with this header section.
MessageKey KeyOfHeader(std::string_view header);

}  // namespace tervane::imap

#endif  // TERVANE_IMAPSTORE_MESSAGE_KEY_H_
