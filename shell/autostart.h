#ifndef TERVANE_SHELL_AUTOSTART_H_
#define TERVANE_SHELL_AUTOSTART_H_

#include <filesystem>
#include <string_view>

namespace tervane {

// The name under which the program registers itself to start with the desktop session.
inline constexpr std::string_view kAutostartValueName = "Tervane Spam Filter For OE";

// Returns the user's XDG autostart folder: $XDG_CONFIG_HOME/autostart (default
// ~/.config/autostart). Throws NoHomeError when neither variable is set.
std::filesystem::path AutostartFolder();

// Returns <AutostartFolder>/<kAutostartValueName>.desktop.
std::filesystem::path AutostartEntryFile();

// What a rewrite found in the entry it replaced.
struct AutostartRewrite {
  // The user had switched the entry off (Hidden=true, X-GNOME-Autostart-enabled=false) and the
  // new entry keeps that switch.
  bool keptSwitchOff = false;
  // The old entry was cut short (no line break at its end) or is no desktop entry at all; it
  // was written anew, keeping only what its complete lines said.
  bool repaired = false;
};

// Writes AutostartEntryFile() for programFile in one step (a temporary file in the same folder
// renamed over it), creating the folder when missing: a desktop entry (Type, Name, Comment,
// Icon) whose Exec is programFile's full path in double quotes. A switch-off the user set in
// the old entry's [Desktop Entry] group is carried over; nothing else of it is.
// Throws std::runtime_error "Failed to set data for 'Tervane Spam Filter For OE'" when the entry
// cannot be written.
AutostartRewrite WriteAutostartEntry(const std::filesystem::path& programFile);

}  // namespace tervane

#endif  // TERVANE_SHELL_AUTOSTART_H_
