#ifndef TERVANE_SHELL_PROGRAM_PARTS_H_
#define TERVANE_SHELL_PROGRAM_PARTS_H_

#include <cstdint>

#include "engine/security_level.h"

namespace tervane {

class DecisionLog;
class IOEServer;
class TAboutBox;
class TFrmsetting;
struct FilterDatabase;

// The windows the main window shows; null until the composition root has made them.
struct ProgramWindows {
  TAboutBox* aboutBox = nullptr;
  TFrmsetting* settings = nullptr;
};

// What the main window works with, owned by the program's composition root (Program), which
// outlives the window.
struct ProgramParts {
  IOEServer& server;                    // the mail client's extension server
  FilterDatabase& database;             // cust.mdb and ospam.mdb
  ProgramSecurityLevel& securityLevel;  // loaded at every attach, saved by the settings window
  int32_t& spamFolderId;                // the store folder "spam", set at every attach
  const ProgramWindows& windows;
  DecisionLog& log;          // one line for every decision
  bool markByMoving = true;  // the user's moves into and out of "spam" are marks
};

}  // namespace tervane

#endif  // TERVANE_SHELL_PROGRAM_PARTS_H_
