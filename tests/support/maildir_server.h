#ifndef TERVANE_TESTS_SUPPORT_MAILDIR_SERVER_H_
#define TERVANE_TESTS_SUPPORT_MAILDIR_SERVER_H_

// The mail client's extension server over a Maildir, as the program composes them, with the
// control socket when a path is given: the mail client's commands are answered by the server,
// every other command by programCommands (refused when there is none).

#include <filesystem>
#include <memory>

#include "control/control_server.h"
#include "extserver/extension_server.h"
#include "maildir/maildir_mail_store.h"

namespace tervane::testing {

// Holds the store so that it is made before the server over it.
struct MaildirStoreHolder {
  explicit MaildirStoreHolder(std::filesystem::path maildir) : maildir(std::move(maildir)) {}
  MaildirMailStore maildir;
};

class MaildirServer : private MaildirStoreHolder, public ExtensionServer {
 public:
  explicit MaildirServer(std::filesystem::path maildir, std::filesystem::path socket = {},
                         ControlHandler programCommands = {});

  MaildirMailStore& maildir() { return MaildirStoreHolder::maildir; }

 private:
  std::unique_ptr<ControlServer> control_;
};

}  // namespace tervane::testing

#endif  // TERVANE_TESTS_SUPPORT_MAILDIR_SERVER_H_
