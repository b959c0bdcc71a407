#ifndef TERVANE_SHELL_PROGRAM_H_
#define TERVANE_SHELL_PROGRAM_H_

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>

#include "control/control_protocol.h"
#include "control/control_server.h"
#include "engine/security_level.h"
#include "extserver/extension_server.h"
#include "shell/attach_retry.h"
#include "shell/daily_reattach.h"
#include "shell/frmmain.h"
#include "shell/program_config.h"
#include "shell/program_list_commands.h"
#include "shell/program_parts.h"
#include "store/filter_database.h"
#include "ui/aboutbox.h"
#include "ui/frmsetting.h"

namespace tervane {

class DecisionLog;

// Where the program finds its mail and its lists, and how it was started.
struct ProgramOptions {
  bool restarted = false;               // started by a failed attach of another instance
  std::filesystem::path listsFolder;    // holds cust.mdb and ospam.mdb; owned by this process
  ProgramConfig config;                 // the mail store, the marking by moving
  std::filesystem::path controlSocket;  // empty: no control socket
  std::chrono::milliseconds attachRetryInterval = kAttachRetryInterval;
  std::function<bool()> endRequested{};  // true once the program is to end: a long task stops
  std::chrono::milliseconds reattachInterval = kReattachInterval;  // an IMAP account only
};

// The running program, made once in main: it owns the mail store, the extension server over it,
// the control socket, the filter database, the security level, the spam folder's id and the
// three windows, and hands each part what it needs. The windows are made in the order the
// program always made them: the main window, the about window, the settings window.
// REQUIRES: a QApplication exists; made and used on the main thread.
class Program {
 public:
  // Opens the mail store and listens on the control socket, then makes the windows. Throws
  // with a one-line message when the store cannot be opened or another program answers at the
  // socket.
  Program(ProgramOptions options, DecisionLog& log);
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  TFrmmain& mainWindow() { return mainWindow_; }
  ExtensionServer& server() { return server_; }

  // The answer to one request on the control socket: the mail client's own commands go to the
  // extension server, the program's to the part they concern. Throws to refuse.
  ControlAnswer Answer(const ControlRequest& request);

 private:
  // Between two slices of an import: new mail is judged (by the lists as imported so far), and
  // an end requested meanwhile ends the import, which then leaves nothing.
  void BetweenImportSlices();

  const ProgramOptions options_;
  DecisionLog& log_;
  std::unique_ptr<IMailStore> store_;
  ExtensionServer server_;
  FilterDatabase database_;
  ProgramSecurityLevel securityLevel_;
  int32_t spamFolderId_ = 0;
  ProgramWindows windows_;
  // Listens before the windows are made (a second program fails before it shows anything); the
  // program's own commands are refused until the windows exist.
  std::unique_ptr<ControlServer> control_;
  TFrmmain mainWindow_;
  TAboutBox aboutBox_;
  TFrmsetting settings_;
  ProgramListCommands lists_;
  std::unique_ptr<DailyReattach> reattach_;
  bool complete_ = false;
};

}  // namespace tervane

#endif  // TERVANE_SHELL_PROGRAM_H_
