#ifndef TERVANE_IMAPSTORE_PASSWORD_SOURCE_H_
#define TERVANE_IMAPSTORE_PASSWORD_SOURCE_H_

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "imapstore/secret.h"

namespace tervane::imap {

// Where the account's password comes from, as mail tools take it: the first line a command
// prints (run by /bin/sh, so a keyring or password manager can unlock it), or the first line of
// a file that only its owner, the user, may read. Exactly one is set.
struct PasswordSource {
  std::string command;
  std::filesystem::path file;
};

// The password cannot be had; what() is one line for the user that never holds the password.
class PasswordError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The password from source: the first line, without its line break. A command gets no input and
// at most timeout; its standard error is the program's. The file must be a regular file of this
// user with no permission for group or others (0600 or 0400). Throws PasswordError when neither
// or both are set, the command fails, prints nothing or overruns timeout, or the file is missing,
// unreadable, someone else's or open to others.
Secret ReadPassword(const PasswordSource& source,
                    std::chrono::milliseconds timeout = std::chrono::seconds(60));

}  // namespace tervane::imap

#endif  // TERVANE_IMAPSTORE_PASSWORD_SOURCE_H_
