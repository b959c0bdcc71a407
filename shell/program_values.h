#ifndef TERVANE_SHELL_PROGRAM_VALUES_H_
#define TERVANE_SHELL_PROGRAM_VALUES_H_

#include <cstdint>

namespace tervane {

class TAboutBox;
class TFrmmain;
class TFrmsetting;

// The program-wide values: zero or null until start-up and the first attach set them.
extern TFrmmain* Frmmain;        // the hidden main window
extern TAboutBox* AboutBox;      // the about window
extern TFrmsetting* Frmsetting;  // the settings window
extern int32_t SpamFolderId;     // the store folder "spam", set at every attach
extern int32_t SecurityLevel;    // misc.secureclass: 3 High, 1 Low, otherwise Medium

}  // namespace tervane

#endif  // TERVANE_SHELL_PROGRAM_VALUES_H_
