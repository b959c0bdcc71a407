#ifndef TERVANE_MAILDIR_MAILDIR_SUBSCRIPTIONS_H_
#define TERVANE_MAILDIR_MAILDIR_SUBSCRIPTIONS_H_

#include <filesystem>
#include <string>
#include <string_view>

namespace tervane {

// Dovecot's list of subscribed folders, "subscriptions" in the Maildir's root: IMAP clients
// show only the folders listed there. Two forms exist: one folder name per line (older), or the
// version line "V\t2" and a blank line, then one name per line with the levels of a folder's
// name separated by tabs (and tabs, CR, LF and \001 in a level escaped after \001). A Maildir++
// folder ".a.b" is "a.b" in the older form and "a\tb" in version 2. When every name listed
// begins with "INBOX" and a separator (a namespace with that prefix), the added name does too.

// Adds the folder folderName to root's subscriptions file, when there is one and it does not
// list the folder yet, keeping every other line as it was. The file is replaced atomically the
// way Dovecot does it: the new text is written to "subscriptions.lock", created exclusively
// (so a Dovecot changing the file at the same moment is waited for, up to a short while), and
// renamed over the file. Returns an empty text, or why the folder could not be added.
std::string SubscribeMaildirFolder(const std::filesystem::path& root, std::string_view folderName);

}  // namespace tervane

#endif  // TERVANE_MAILDIR_MAILDIR_SUBSCRIPTIONS_H_
