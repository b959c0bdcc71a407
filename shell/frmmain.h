#ifndef TERVANE_SHELL_FRMMAIN_H_
#define TERVANE_SHELL_FRMMAIN_H_

#include <QLibrary>
#include <QWidget>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

#include "engine/clock.h"
#include "engine/filter_context.h"
#include "log/decision_log.h"
#include "mailclient/mail_client_session.h"
#include "shell/attach_retry.h"
#include "shell/network_spam_reporter.h"
#include "shell/program_parts.h"
#include "store/filter_database.h"
#include "ui/desktop_shell_opener.h"

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace tervane {

// The program's main window: never shown, it owns every component the program works with
// (the mail client's, the filter database's, the spam reporter and the tray icon) and handles
// their events.
class TFrmmain : public QWidget {
  Q_OBJECT

 public:
  // Creates the components, which connect to parts.server at once, then runs FormCreate.
  // restarted: this instance was started by a failed attach of another. databaseFolder holds
  // cust.mdb and ospam.mdb. attachRetryInterval: how often a restarted instance whose attach
  // failed tries again. REQUIRES: this process owns databaseFolder (FolderOwner) for the
  // window's whole life; the parts outlive the window.
  TFrmmain(bool restarted, std::filesystem::path databaseFolder, const ProgramParts& parts,
           std::chrono::milliseconds attachRetryInterval = kAttachRetryInterval);
  ~TFrmmain() override;

  // Start-up work: loads the hook library and writes the autostart entry.
  void FormCreate();
  // Closing work, shared by the close request and the destruction: removes the program's
  // toolbar buttons and unbinds the toolbar.
  void FormDestroy();

  // The mail client's events.
  void OEAPIInit1InitOEAPI();
  void OEAPIInit1ShutdownOEAPI();
  void OEFolderManagerNewMessage(int32_t folderId, int32_t newMsgId);
  // The user moved a message into or out of the spam folder with a mail client of their own.
  void OEFolderManagerMessageMoved(int32_t fromFolderId, int32_t toFolderId, int32_t messageId);
  void OEToolbar1ButtonClicked(int32_t buttonId);

  // The six toolbar commands.
  void OEButton1Click();  // Config
  void OEButton2Click();  // Spam
  void OEButton3Click();  // Not Spam
  void OEButton4Click();  // Live Update
  void OEButton5Click();  // Help
  void OEButton6Click();  // About

  // The tray menu's items.
  void Spam1Click();     // "Help": the help page on the maker's web server
  void NotSpam1Click();  // "Online Update": ends the program
  void Config1Click();
  void Help1Click();  // "About"

  bool IsAttached() const { return attached_; }
  ShellOpener& shell() { return shell_; }
  // The engine's context over the parts, for commands that come from outside the toolbar.
  FilterContext& context() { return context_; }

 protected:
  void closeEvent(QCloseEvent* event) override;  // FormCloseQuery

 private:
  // Starts a fresh instance and ends this one; a restarted instance instead stays up, detached,
  // since a second restart would meet the same cause: it reports why once and tries the attach
  // again from time to time (attachRetry_).
  void Restart(const std::string& reason);
  // Leaves the attach's half-made state: no new-message events, the database closed.
  void StayDetached();
  // One more try of an attach that failed; quiet. Returns true iff the program is attached.
  bool RetryAttach();
  // Writes the log line of an attach that worked.
  void LogAttached(const std::string& how);
  // Runs a command; a failure ends it at that step and is shown to the user.
  template <typename Command>
  void RunCommand(Command command);

  const bool restarted_;
  const std::string programFolder_;
  const std::filesystem::path databaseFolder_;
  const ProgramParts parts_;
  DecisionLog& log_;
  MailClientComponents oe_;
  FilterDatabase& db_;
  NetworkSpamReporter WebBrowser1;
  SystemClock clock_;
  FilterContext context_;
  DesktopShellOpener shell_;
  QLibrary hook_;
  QSystemTrayIcon* CoolTrayIcon1;
  QMenu* suiPopupMenu1;
  AttachRetry attachRetry_;
  bool attached_ = false;
};

}  // namespace tervane

#endif  // TERVANE_SHELL_FRMMAIN_H_
