#ifndef TERVANE_IMAPSTORE_MAILBOX_NAME_H_
#define TERVANE_IMAPSTORE_MAILBOX_NAME_H_

#include <string>
#include <string_view>

namespace tervane::imap {

// Mailbox names travel in IMAP's modified UTF-7 ("&AMk-l&AOk-ments"); the program speaks UTF-8.
// The conversion is iconv's "UTF-7-IMAP".

// Returns name in modified UTF-7. Throws ImapError when name is not valid UTF-8.
std::string EncodeMailboxName(std::string_view name);

// Returns the UTF-8 of a name the server sent. A name that is not valid modified UTF-7 (some
// servers send raw UTF-8) is returned as the server spelled it.
std::string DecodeMailboxName(std::string_view name);

}  // namespace tervane::imap

#endif  // TERVANE_IMAPSTORE_MAILBOX_NAME_H_
