#ifndef TERVANE_ENGINE_FILTER_CONTEXT_H_
#define TERVANE_ENGINE_FILTER_CONTEXT_H_

#include <cstdint>
#include <string>

#include "engine/security_level.h"

namespace tervane {

class DecisionLog;
class IClock;
class IOEAPIObj;
class IOEFolderManager;
class ISpamReporter;
struct FilterDatabase;

// Everything the filtering engine works with, handed out by the program's composition root. The
// two program-wide values are read afresh at every use, so a change made between two messages
// (a new attach, the settings window's Ok) takes effect at once.
struct FilterContext {
  IOEFolderManager& folderManager;
  IOEAPIObj& api;
  FilterDatabase& database;
  ISpamReporter& reporter;
  const IClock& clock;
  DecisionLog& log;             // why mail moved
  const int32_t& spamFolderId;  // the store folder "spam"
  const ProgramSecurityLevel& securityLevel;
  std::string reportHost;  // the maker's web server, host[:port]
};

}  // namespace tervane

#endif  // TERVANE_ENGINE_FILTER_CONTEXT_H_
