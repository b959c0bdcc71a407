#ifndef TERVANE_TESTS_SUPPORT_IMAP_TEST_MAIL_H_
#define TERVANE_TESTS_SUPPORT_IMAP_TEST_MAIL_H_

// Mail on the test Dovecot as another client (a phone, webmail) sees and changes it.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "imapstore/imap_session.h"
#include "tests/support/dovecot_instance.h"

namespace tervane::testing {

// A message from sender (an address) with subject, a Message-ID of its own and CRLF line ends.
std::string MailText(const std::string& sender, const std::string& subject,
                     const std::string& extraHeaders = "", const std::string& body = "Hello.\r\n");

// A session of user's on server, trusting its certificate.
std::unique_ptr<imap::ImapSession> ConnectAs(const DovecotInstance& server,
                                             const DovecotInstance::User& user);

// The subjects of mailbox's messages in UID order.
std::vector<std::string> Subjects(imap::ImapSession& session, const std::string& mailbox);

// Moves the message with subject from one mailbox to another, as the user's own client does.
// Returns false when there is no such message.
bool MoveBySubject(imap::ImapSession& session, const std::string& from, const std::string& to,
                   const std::string& subject);

// Writes password into file, mode 0600.
void WritePasswordFile(const std::filesystem::path& file, const std::string& password);

}  // namespace tervane::testing

#endif  // TERVANE_TESTS_SUPPORT_IMAP_TEST_MAIL_H_
