#ifndef TERVANE_BASE_XDG_DIRS_H_
#define TERVANE_BASE_XDG_DIRS_H_

#include <filesystem>
#include <optional>
#include <stdexcept>

namespace tervane {

// The user's base directories (freedesktop.org's XDG base directories), with one rule for all: an
// absolute $XDG_..._HOME, else its default under $HOME. A relative value counts as unset, as the
// XDG rules say.

// Neither an absolute $XDG_..._HOME nor a $HOME is set; what() names both.
class NoHomeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class XdgHome {
  kConfig,  // $XDG_CONFIG_HOME, else ~/.config
  kData,    // $XDG_DATA_HOME, else ~/.local/share
  kState,   // $XDG_STATE_HOME, else ~/.local/state
};

// An absolute $HOME. Throws NoHomeError when there is none.
std::filesystem::path HomeFolder();

// The folder of that kind. Throws NoHomeError when neither variable gives one.
std::filesystem::path XdgHomeFolder(XdgHome kind);

// The program's own folder under it: XdgHomeFolder(kind) / "tervane-antispam".
std::filesystem::path ProgramHomeFolder(XdgHome kind);

// An absolute $XDG_RUNTIME_DIR, or nothing.
std::optional<std::filesystem::path> XdgRuntimeFolder();

// The folder of the running program's own file, every symbolic link resolved (so a link from
// <prefix>/bin leads into the program folder). Throws std::runtime_error when it cannot be read.
std::filesystem::path RunningProgramFolder();

}  // namespace tervane

#endif  // TERVANE_BASE_XDG_DIRS_H_
