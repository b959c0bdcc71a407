#ifndef TERVANE_MAILDIR_MAILDIR_NAMES_H_
#define TERVANE_MAILDIR_MAILDIR_NAMES_H_

#include <string>
#include <string_view>

namespace tervane {

// Maildir file names: "<unique>[:2,<flags>]". Tools add fields to the unique part after a comma:
// Dovecot its sizes (",S=<bytes>,W=<bytes>"), mbsync the message's IMAP UID in its folder
// (",U=<uid>").

// The unique part of a Maildir file name: everything before the first ':'.
std::string_view MaildirUniquePart(std::string_view fileName);

// The name a message file takes when it moves into another folder: the same name without its
// ",U=<digits>" fields, since a UID belongs to the folder the message leaves (mbsync would take
// the moved file for that folder's message). Everything else stays: the other fields and the
// ":2," flags.
std::string MovedMessageName(std::string_view fileName);

}  // namespace tervane

#endif  // TERVANE_MAILDIR_MAILDIR_NAMES_H_
