#ifndef TERVANE_SHELL_PROGRAM_LIST_COMMANDS_H_
#define TERVANE_SHELL_PROGRAM_LIST_COMMANDS_H_

#include <filesystem>
#include <functional>

#include "control/control_protocol.h"
#include "engine/security_level.h"

namespace tervane {

struct FilterDatabase;

// The program's answers to tervane-lists on the control socket, carried out on the program's own
// filter database, so the files stay the program's alone and its next lookup sees every change.
// While the program is detached (the database closed) a request opens the database and closes
// it again. A level it sets is stored and becomes the program-wide level at once. An import reads
// its file a chunk at a time and runs in slices of one transaction, calling betweenSlices (when
// given) after each: it may judge new mail, and throws to end the import, which then leaves
// nothing. REQUIRES: db and securityLevel outlive the object; used on the main thread.
class ProgramListCommands {
 public:
  ProgramListCommands(FilterDatabase& db, std::filesystem::path databaseFolder,
                      ProgramSecurityLevel& securityLevel,
                      std::function<void()> betweenSlices = {});

  // The answer to one request. Throws std::exception to refuse it (a request for another
  // folder, an unknown list, an invalid address, a failed database step).
  ListsAnswer Answer(const ListsRequest& request);

 private:
  FilterDatabase& db_;
  const std::filesystem::path databaseFolder_;
  ProgramSecurityLevel& securityLevel_;
  const std::function<void()> betweenSlices_;
};

}  // namespace tervane

#endif  // TERVANE_SHELL_PROGRAM_LIST_COMMANDS_H_
