#ifndef TERVANE_IMAPSTORE_IMAP_ERROR_H_
#define TERVANE_IMAPSTORE_IMAP_ERROR_H_

#include <stdexcept>

namespace tervane::imap {

// The one error of the IMAP layer. Its message is one line that names the server and what failed
// ("mail.example.org: SELECT \"spam\": NO Mailbox doesn't exist"), fit for the decision log and
// status; it never holds a password.
class ImapError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The server refused the login (a wrong user name or password, a locked account): trying again
// with the same password is no use and may get the account locked.
class ImapLoginRefused : public ImapError {
 public:
  using ImapError::ImapError;
};

}  // namespace tervane::imap

#endif  // TERVANE_IMAPSTORE_IMAP_ERROR_H_
