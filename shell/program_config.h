#ifndef TERVANE_SHELL_PROGRAM_CONFIG_H_
#define TERVANE_SHELL_PROGRAM_CONFIG_H_

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

namespace tervane {

// The program's configuration file, $XDG_CONFIG_HOME/tervane-antispam/tervane-antispam.conf
// (default ~/.config/...), a key file a person edits by hand (packaging/tervane-antispam.conf is
// the sample that ships):
//
//   [mail]
//   maildir = ~/Maildir                       a Maildir (default: $MAILDIR, else ~/Maildir)
//   imap = imaps://ann@mail.example.org       or an IMAP account (imap:// for STARTTLS)
//   password-command = pass show mail/ann     its password: the command's first line
//   password-file = ~/.config/.../password    or the file's first line (0600, the user's own)
//   ca-file = /etc/ssl/my-ca.pem              certificates to trust besides the system's
//
//   [marking]
//   mark-by-moving = true                     moving mail into or out of "spam" marks it
//
// A leading "~/" stands for $HOME. A missing file means every default.

// The file is unreadable or malformed, or names two stores; what() is one line naming it.
class ConfigError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An IMAP account as the configuration names it.
struct ImapAccountConfig {
  std::string url;  // imaps://user@host[:port] or imap://...
  std::string passwordCommand;
  std::filesystem::path passwordFile;
  std::filesystem::path caFile;
};

struct ProgramConfig {
  std::optional<std::filesystem::path> maildir;  // set: this Maildir
  std::optional<ImapAccountConfig> imap;         // set: this IMAP account
  bool markByMoving = true;
};

// $XDG_CONFIG_HOME/tervane-antispam/tervane-antispam.conf. Throws NoHomeError.
std::filesystem::path DefaultConfigFile();

// The configuration in file; every default when there is no file. Throws ConfigError.
ProgramConfig ReadProgramConfig(const std::filesystem::path& file);

}  // namespace tervane

#endif  // TERVANE_SHELL_PROGRAM_CONFIG_H_
