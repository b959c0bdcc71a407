#ifndef TERVANE_SHELL_SETTINGS_COMMAND_H_
#define TERVANE_SHELL_SETTINGS_COMMAND_H_

#include "extserver/extension_server.h"

namespace tervane {

class TFrmmain;

// The program command that opens the settings window from outside the mail client (oectl
// settings, the application menu's "Tervane Anti-Spam settings").
inline constexpr char kSettingsCommand[] = "settings";

// Returns the handler of kSettingsCommand: shows the settings window as the toolbar's "Config"
// does and answers at once, without waiting for the window. While the program is not attached
// (its database closed) it refuses, saying so, since the window shows the open lists.
// REQUIRES: mainWindow outlives the handler; Frmsetting is set whenever it runs.
ProgramCommand SettingsCommand(TFrmmain& mainWindow);

}  // namespace tervane

#endif  // TERVANE_SHELL_SETTINGS_COMMAND_H_
