#ifndef TERVANE_SHELL_LIST_COMMANDS_H_
#define TERVANE_SHELL_LIST_COMMANDS_H_

#include <QJsonObject>
#include <cstdint>
#include <filesystem>

namespace tervane {

class ExtensionServer;
struct FilterDatabase;

// The program's answers to tervane-lists on the control socket: the "lists" requests of
// lists/list_protocol.h, carried out on the program's own filter database, so the files stay
// the program's alone and its next lookup sees every change. While the program is detached
// (the database closed) a request opens the database and closes it again. A level it sets is
// stored and becomes the program-wide level at once. Registered for the object's life.
// REQUIRES: db, securityLevel and server outlive the object; used on the main thread.
class ProgramListCommands {
 public:
  ProgramListCommands(ExtensionServer& server, FilterDatabase& db,
                      std::filesystem::path databaseFolder, int32_t& securityLevel);
  ~ProgramListCommands();
  ProgramListCommands(const ProgramListCommands&) = delete;
  ProgramListCommands& operator=(const ProgramListCommands&) = delete;

  // The answer's members for one request. Throws std::exception to refuse it (a request for
  // another folder, an unknown action or list, an invalid address, a failed database step).
  QJsonObject Answer(const QJsonObject& request);

 private:
  ExtensionServer& server_;
  FilterDatabase& db_;
  const std::filesystem::path databaseFolder_;
  int32_t& securityLevel_;
};

}  // namespace tervane

#endif  // TERVANE_SHELL_LIST_COMMANDS_H_
