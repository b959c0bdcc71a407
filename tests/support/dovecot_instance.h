#ifndef TERVANE_TESTS_SUPPORT_DOVECOT_INSTANCE_H_
#define TERVANE_TESTS_SUPPORT_DOVECOT_INSTANCE_H_

// A throwaway Dovecot for the IMAP tests: Debian's /usr/sbin/dovecot run in the foreground with
// its configuration, passwd-file, self-signed certificate, state, log and Maildir mail all in a
// fresh temporary folder, listening on two free ports of 127.0.0.1: IMAP offering STARTTLS, and
// IMAPS. As root it runs as the user nobody (group nogroup), else as this process's own user.
//
// It starts in a few tens of milliseconds, so each test process starts its own (under CTest each
// test case is one process): every test begins with empty mailboxes, and a test may turn
// capabilities off, stop, freeze or restart its server without disturbing any other.

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace tervane::testing {

class DovecotInstance {
 public:
  struct Options {
    // Capabilities left out of the CAPABILITY answer after login ("MOVE", "UIDPLUS", "NOTIFY",
    // "SPECIAL-USE", "IDLE", ...). Without "SPECIAL-USE" no mailbox is marked \Sent either.
    std::vector<std::string> withoutCapabilities;
    // The names the server's certificate is made for.
    std::vector<std::string> certificateNames = {"localhost", "127.0.0.1"};
  };
  // The test accounts: name and password.
  struct User {
    const char* name;
    const char* password;
  };
  static constexpr User kAlice = {"alice", "alice-secret"};
  static constexpr User kBob = {"bob", "bob-secret"};
  // Every account has this mailbox (besides INBOX), marked \Sent when SPECIAL-USE is on: a name
  // that is neither "Sent" nor ASCII, so that finding it takes the attribute and the name coding.
  static constexpr const char* kSentMailbox = "Éléments envoyés";

  // Starts a new instance. On failure returns nullptr and sets *reason (the step that failed and
  // Dovecot's own words), for GTEST_SKIP.
  static std::unique_ptr<DovecotInstance> Start(const Options& options, std::string* reason);
  ~DovecotInstance();  // kills it if still running and removes its folder
  DovecotInstance(const DovecotInstance&) = delete;
  DovecotInstance& operator=(const DovecotInstance&) = delete;

  // Stops the server the way a service manager does (SIGTERM to each of its processes), and
  // waits.
  void Stop();
  // Kills every process of the server at once (connections are cut without a word).
  void Kill();
  // Stops every process of the server where it is (SIGSTOP: connections stay open, nothing
  // answers) until Thaw.
  void Freeze();
  void Thaw();
  // Starts a stopped or killed server again on the same ports with the same mail. On failure
  // returns false and sets *reason.
  bool Restart(std::string* reason);

  int imapPort() const { return imapPort_; }
  int imapsPort() const { return imapsPort_; }
  // "imaps://alice@127.0.0.1:<port>", "imap://alice@127.0.0.1:<port>".
  std::string ImapsUrl(const User& user, const std::string& host = "127.0.0.1") const;
  std::string ImapUrl(const User& user, const std::string& host = "127.0.0.1") const;
  // The server's self-signed certificate, which is its own CA file.
  std::filesystem::path caFile() const { return folder_ / "server-cert.pem"; }
  const std::filesystem::path& folder() const { return folder_; }

 private:
  DovecotInstance(std::filesystem::path folder, int imapPort, int imapsPort);
  bool Launch(std::string* reason);

  std::filesystem::path folder_;
  int imapPort_;
  int imapsPort_;
  pid_t pid_ = -1;  // the master process, leader of the server's process group
};

}  // namespace tervane::testing

#endif  // TERVANE_TESTS_SUPPORT_DOVECOT_INSTANCE_H_
