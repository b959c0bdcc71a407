#include "shell/program_config.h"

#include <glib.h>

#include <memory>
#include <system_error>

#include "base/c_owned.h"
#include "base/xdg_dirs.h"

namespace tervane {
namespace {

namespace fs = std::filesystem;

using KeyFilePtr = COwned<GKeyFile, g_key_file_free>;
using ErrorPtr = COwned<GError, g_error_free>;

constexpr char kMail[] = "mail";
constexpr char kMarking[] = "marking";

// The value of key in group, or nothing when it is not there.
std::optional<std::string> Text(GKeyFile* file, const char* group, const char* key) {
  GError* raw = nullptr;
  char* value = g_key_file_get_string(file, group, key, &raw);
  ErrorPtr error(raw);
  if (value == nullptr)
    return std::nullopt;
  std::string text(value);
  g_free(value);
  return text;
}

// A path as written, with a leading "~/" standing for the home folder.
fs::path PathOf(const std::string& text) {
  if (text.starts_with("~/"))
    return HomeFolder() / text.substr(2);
  return text;
}

}  // namespace

fs::path DefaultConfigFile() {
  return ProgramHomeFolder(XdgHome::kConfig) / "tervane-antispam.conf";
}

ProgramConfig ReadProgramConfig(const fs::path& file) {
  ProgramConfig config;
  std::error_code missing;
  if (!fs::exists(file, missing))
    return config;
  KeyFilePtr keys(g_key_file_new());
  GError* raw = nullptr;
  if (!g_key_file_load_from_file(keys.get(), file.c_str(), G_KEY_FILE_NONE, &raw)) {
    ErrorPtr error(raw);
    throw ConfigError("cannot read the configuration " + file.string() + ": " + error->message);
  }
  if (const std::optional<std::string> maildir = Text(keys.get(), kMail, "maildir"))
    config.maildir = PathOf(*maildir);
  if (const std::optional<std::string> url = Text(keys.get(), kMail, "imap")) {
    ImapAccountConfig imap;
    imap.url = *url;
    imap.passwordCommand = Text(keys.get(), kMail, "password-command").value_or("");
    if (const std::optional<std::string> password = Text(keys.get(), kMail, "password-file"))
      imap.passwordFile = PathOf(*password);
    if (const std::optional<std::string> ca = Text(keys.get(), kMail, "ca-file"))
      imap.caFile = PathOf(*ca);
    config.imap = std::move(imap);
  }
  if (config.maildir && config.imap)
    throw ConfigError("the configuration " + file.string() +
                      " names both a Maildir and an IMAP account; keep one");
  if (const std::optional<std::string> mark = Text(keys.get(), kMarking, "mark-by-moving")) {
    if (*mark != "true" && *mark != "false")
      throw ConfigError("the configuration " + file.string() +
                        ": mark-by-moving is true or false, not " + *mark);
    config.markByMoving = *mark == "true";
  }
  return config;
}

}  // namespace tervane
