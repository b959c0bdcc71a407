#ifndef TERVANE_SHELL_AUTOSTART_H_
#define TERVANE_SHELL_AUTOSTART_H_

#include <filesystem>
#include <string_view>

namespace tervane {

// The name under which the program registers itself to start with the desktop session.
inline constexpr std::string_view kAutostartValueName = "Tervane Spam Filter For OE";

// Returns the user's XDG autostart folder: $XDG_CONFIG_HOME/autostart when that variable holds
// an absolute path, else ~/.config/autostart.
std::filesystem::path AutostartFolder();

// Writes <AutostartFolder>/<kAutostartValueName>.desktop for programFile in one step (a temporary
// file in the same folder renamed over it), creating the folder when missing.
// Throws std::runtime_error "Failed to set data for 'Tervane Spam Filter For OE'" on failure.
void WriteAutostartEntry(const std::filesystem::path& programFile);

}  // namespace tervane

#endif  // TERVANE_SHELL_AUTOSTART_H_
