#include "tests/support/dovecot_instance.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/child_process.h"
#include "tests/support/free_port.h"
#include "tests/support/self_signed_certificate.h"

extern char** environ;

namespace tervane::testing {
namespace {

constexpr const char* kDovecot = "/usr/sbin/dovecot";
constexpr auto kStartTimeout = std::chrono::seconds(10);
constexpr auto kStopTimeout = std::chrono::seconds(10);
// What Dovecot 2.3 answers to CAPABILITY after login with this configuration.
constexpr const char* kDovecotCapabilities =
    "IMAP4rev1 SASL-IR LOGIN-REFERRALS ID ENABLE IDLE SORT SORT=DISPLAY THREAD=REFERENCES "
    "THREAD=REFS THREAD=ORDEREDSUBJECT MULTIAPPEND URL-PARTIAL CATENATE UNSELECT CHILDREN "
    "NAMESPACE UIDPLUS LIST-EXTENDED I18NLEVEL=1 CONDSTORE QRESYNC ESEARCH ESORT SEARCHRES WITHIN "
    "CONTEXT=SEARCH LIST-STATUS BINARY MOVE SNIPPET=FUZZY PREVIEW=FUZZY PREVIEW STATUS=SIZE "
    "SAVEDATE LITERAL+ NOTIFY SPECIAL-USE";

// The user and group the server runs as.
struct ServerUser {
  std::string name;
  std::string group;
  uid_t uid = 0;
  gid_t gid = 0;
};

bool FindServerUser(ServerUser* user) {
  const passwd* entry = ::geteuid() == 0 ? ::getpwnam("nobody") : ::getpwuid(::geteuid());
  const group* groupEntry = ::geteuid() == 0 ? ::getgrnam("nogroup") : ::getgrgid(::getegid());
  if (entry == nullptr || groupEntry == nullptr)
    return false;
  *user = {entry->pw_name, groupEntry->gr_name, entry->pw_uid, groupEntry->gr_gid};
  return true;
}

bool Without(const DovecotInstance::Options& options, const std::string& capability) {
  const auto& list = options.withoutCapabilities;
  return std::find(list.begin(), list.end(), capability) != list.end();
}

std::string Configuration(const std::filesystem::path& folder, int imapPort, int imapsPort,
                          const ServerUser& user, const DovecotInstance::Options& options) {
  const std::string dir = folder.string();
  std::ostringstream out;
  out << "base_dir = " << dir << "/run\n"
      << "state_dir = " << dir << "/state\n"
      << "log_path = " << dir << "/dovecot.log\n"
      << "instance_name = tervane-test\n"
      << "protocols = imap\n"
      << "listen = 127.0.0.1\n"
      << "default_internal_user = " << user.name << "\n"
      << "default_internal_group = " << user.group << "\n"
      << "default_login_user = " << user.name << "\n"
      << "ssl = yes\n"
      << "ssl_cert = <" << dir << "/server-cert.pem\n"
      << "ssl_key = <" << dir << "/server-key.pem\n"
      << "mail_location = maildir:~/Maildir\n"
      << "mail_fsync = never\n"
      << "mailbox_list_index = yes\n"
      << "mailbox_idle_check_interval = 1 secs\n"
      << "auth_failure_delay = 0\n"
      << "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN " << dir << "/passwd\n}\n"
      << "userdb {\n  driver = passwd-file\n  args = " << dir << "/passwd\n"
      << "  default_fields = uid=" << user.uid << " gid=" << user.gid << " home=" << dir
      << "/home/%u\n}\n"
      << "service imap-login {\n  chroot =\n"
      << "  inet_listener imap {\n    port = " << imapPort << "\n  }\n"
      << "  inet_listener imaps {\n    port = " << imapsPort << "\n    ssl = yes\n  }\n}\n"
      << "service anvil {\n  chroot =\n}\n"
      << "namespace inbox {\n  inbox = yes\n  separator = /\n"
      << "  mailbox \"" << DovecotInstance::kSentMailbox << "\" {\n    auto = subscribe\n"
      << (Without(options, "SPECIAL-USE") ? "" : "    special_use = \\Sent\n") << "  }\n}\n";
  if (!options.withoutCapabilities.empty()) {
    out << "imap_capability =";
    std::istringstream capabilities(kDovecotCapabilities);
    for (std::string capability; capabilities >> capability;) {
      if (!Without(options, capability))
        out << " " << capability;
    }
    out << "\n";
  }
  return out.str();
}

bool WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream out(path);
  out << text;
  return static_cast<bool>(out.flush());
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Waits until every process of the server's process group has ended and been reaped, or timeout
// passed. Returns true iff they have. This process is their subreaper (see Launch), so the
// processes the master leaves behind are reaped here too.
bool WaitForServerEnd(pid_t group, std::chrono::steady_clock::duration timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  do {
    const pid_t reaped = ::waitpid(-group, nullptr, WNOHANG);
    if (reaped < 0 && errno == ECHILD)
      return true;
    if (reaped == 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
  } while (std::chrono::steady_clock::now() < deadline);
  return false;
}

}  // namespace

DovecotInstance::DovecotInstance(std::filesystem::path folder, int imapPort, int imapsPort)
    : folder_(std::move(folder)), imapPort_(imapPort), imapsPort_(imapsPort) {}

std::unique_ptr<DovecotInstance> DovecotInstance::Start(const Options& options,
                                                        std::string* reason) {
  ServerUser user;
  if (::access(kDovecot, X_OK) != 0) {
    *reason = std::string("no ") + kDovecot + " (Debian package dovecot-imapd)";
    return nullptr;
  }
  if (!FindServerUser(&user)) {
    *reason = "no user to run Dovecot as (nobody/nogroup when root)";
    return nullptr;
  }
  std::string pattern = (std::filesystem::temp_directory_path() / "tervane-imap-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    *reason = "cannot make a temporary folder for Dovecot";
    return nullptr;
  }
  const int imapPort = FreeLocalPort();
  int imapsPort = FreeLocalPort();
  while (imapsPort == imapPort)
    imapsPort = FreeLocalPort();
  std::unique_ptr<DovecotInstance> instance(new DovecotInstance(pattern, imapPort, imapsPort));
  const std::filesystem::path& folder = instance->folder_;
  std::string passwd;
  for (const User& account : {kAlice, kBob})
    passwd += std::string(account.name) + ":{PLAIN}" + account.password + "::::::\n";
  if (!MakeSelfSignedCertificate(instance->caFile(), folder / "server-key.pem",
                                 options.certificateNames, reason))
    return nullptr;
  if (!WriteFile(folder / "passwd", passwd) ||
      !WriteFile(folder / "dovecot.conf",
                 Configuration(folder, instance->imapPort_, instance->imapsPort_, user, options))) {
    *reason = "cannot write Dovecot's files under " + folder.string();
    return nullptr;
  }
  GiveToUnprivilegedUser(folder);
  if (!instance->Launch(reason))
    return nullptr;
  return instance;
}

bool DovecotInstance::Launch(std::string* reason) {
  // setpriv makes the master die with this process, should a test end without stopping it, and
  // as root runs it as nobody.
  std::vector<std::string> words = UnprivilegedCommandPrefix();
  if (words.empty())
    words.push_back("setpriv");
  words.insert(words.begin() + 1, {"--pdeathsig", "SIGKILL"});
  for (const std::string word : {kDovecot, "-F", "-c"})
    words.push_back(word);
  words.push_back((folder_ / "dovecot.conf").string());
  std::vector<char*> argv;
  for (std::string& word : words)
    argv.push_back(word.data());
  argv.push_back(nullptr);

  const std::string output = (folder_ / "dovecot.out").string();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                   O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  // Processes of the server whose master has ended become this process's children rather than
  // init's, so that Stop and Kill can wait until each has gone (and its connections with it).
  ::prctl(PR_SET_CHILD_SUBREAPER, 1);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);  // a group of its own, for Freeze and Kill
  const int failed = ::posix_spawnp(&pid_, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (failed != 0) {
    pid_ = -1;
    *reason = std::string("cannot run ") + argv[0];
    return false;
  }

  const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
  while (!LocalPortAccepts(imapPort_) || !LocalPortAccepts(imapsPort_)) {
    if (::waitpid(pid_, nullptr, WNOHANG) == pid_ || std::chrono::steady_clock::now() > deadline) {
      Kill();
      *reason = "Dovecot did not start: " + ReadFile(output) + ReadFile(folder_ / "dovecot.log");
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

DovecotInstance::~DovecotInstance() {
  Kill();
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

void DovecotInstance::Stop() {
  if (pid_ < 0)
    return;
  Thaw();
  // As a service manager stops it: every process of the server is told.
  ::kill(-pid_, SIGTERM);
  if (WaitForServerEnd(pid_, kStopTimeout))
    pid_ = -1;
  else
    Kill();
}

void DovecotInstance::Kill() {
  if (pid_ < 0)
    return;
  // The master is not reaped yet, so its group id still names only the server's processes.
  ::kill(-pid_, SIGKILL);
  WaitForServerEnd(pid_, kStopTimeout);
  pid_ = -1;
}

void DovecotInstance::Freeze() {
  if (pid_ >= 0)
    ::kill(-pid_, SIGSTOP);
}

void DovecotInstance::Thaw() {
  if (pid_ >= 0)
    ::kill(-pid_, SIGCONT);
}

bool DovecotInstance::Restart(std::string* reason) {
  Kill();
  return Launch(reason);
}

std::string DovecotInstance::ImapsUrl(const User& user, const std::string& host) const {
  return "imaps://" + std::string(user.name) + "@" + host + ":" + std::to_string(imapsPort_);
}

std::string DovecotInstance::ImapUrl(const User& user, const std::string& host) const {
  return "imap://" + std::string(user.name) + "@" + host + ":" + std::to_string(imapPort_);
}

}  // namespace tervane::testing
