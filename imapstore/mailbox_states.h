#ifndef TERVANE_IMAPSTORE_MAILBOX_STATES_H_
#define TERVANE_IMAPSTORE_MAILBOX_STATES_H_

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

namespace tervane::imap {

// How far the filter got in one mailbox: mail with a higher UID under the same UIDVALIDITY is
// new to it.
struct MailboxProgress {
  uint32_t uidValidity = 0;
  uint32_t lastUid = 0;  // the highest UID judged (or met before the filter first looked)
  bool operator==(const MailboxProgress&) const = default;
};

// The progress of every mailbox of one account, by mailbox name (UTF-8).
using MailboxStates = std::map<std::string, MailboxProgress>;

// The file that keeps MailboxStates between runs, one line per mailbox:
// "UIDVALIDITY<TAB>LAST UID<TAB>NAME". Lines that do not read so are skipped, so a damaged file
// costs at most the mailboxes it damaged (they start afresh).
// The states in file; empty when it does not exist. Throws std::runtime_error when it exists but
// cannot be read.
MailboxStates ReadMailboxStates(const std::filesystem::path& file);
// Replaces file with states (a new file renamed over the old, so it is always whole), making
// its folder when missing. Throws std::runtime_error naming the file when that fails.
void WriteMailboxStates(const std::filesystem::path& file, const MailboxStates& states);

// The state file of the account url (user, host and port) in folder: "imap-USER@HOST-PORT.state",
// with any byte other than letters, digits, '@', '.', '_' and '-' written as %XX.
std::filesystem::path MailboxStatesFile(const std::filesystem::path& folder,
                                        const std::string& url);

}  // namespace tervane::imap

#endif  // TERVANE_IMAPSTORE_MAILBOX_STATES_H_
