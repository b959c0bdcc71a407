#ifndef TERVANE_EXTSERVER_EXTENSION_SERVER_H_
#define TERVANE_EXTSERVER_EXTENSION_SERVER_H_

#include <QJsonObject>
#include <QObject>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mailclient/extension_interface.h"

namespace tervane {

class ControlServer;

// Where a server keeps its mail and listens for the mail client's user.
struct ServerOptions {
  std::filesystem::path maildirRoot;  // the inbox; made with cur/new/tmp when missing
  std::filesystem::path socketPath;   // the control socket; empty: no socket
};

// $MAILDIR, else ~/Maildir.
std::filesystem::path DefaultMaildirRoot();
// $XDG_RUNTIME_DIR/tervane/mailclient.sock, else /tmp/tervane-<uid>/mailclient.sock.
std::filesystem::path DefaultControlSocketPath();

// One row of the folder list and of a folder's message list, as the control socket shows them.
struct FolderSummary {
  int32_t id;
  std::string name;
  int32_t count;
  std::filesystem::path dir;  // the folder's directory: names may show alike, directories do not
};
struct MessageSummary {
  int32_t id;
  std::string sender;   // the address of the first From mailbox, or empty
  std::string subject;  // RFC 2047 decoded, or empty
};

// A command of the program beside the mail client, answered over the same control socket: gets
// the request object (its "cmd" and arguments) and returns the members of the answer (without
// "ok"). Throwing std::exception refuses the request with what() as its one-line reason.
using ProgramCommand = std::function<QJsonObject(const QJsonObject& request)>;

// The mail client's extension server over a Maildir++ store: its folders and messages, its
// toolbar, the user's selection and the mail client's life. Everything runs on the thread that
// made it (the main thread); events are Qt signals raised from its event loop.
class ExtensionServer : public QObject {
  Q_OBJECT

 public:
  // Opens the Maildir and, when options.socketPath is set, listens on the control socket.
  // Throws ExtensionError with a one-line message when the Maildir cannot be made or the socket
  // belongs to a live server. The first server made in a process becomes its running server
  // until it is destroyed. The mail client counts as running from here.
  explicit ExtensionServer(ServerOptions options, QObject* parent = nullptr);
  ~ExtensionServer() override;

  // The process's running server, else a new one on DefaultMaildirRoot() and
  // DefaultControlSocketPath() that lives until the process ends. Throws ExtensionError.
  // REQUIRES: a QCoreApplication exists; called on the main thread.
  static ExtensionServer& RunningOrNew();

  // Fresh views of the store and of the mail client for one client component; each has its own
  // folder walk and selection walk. They stay valid while the server lives.
  std::unique_ptr<IOEFolderManager> NewFolderManager();
  std::unique_ptr<IOEAPIObj> NewAPIObj();

  // The mail client's life, as its user drives it.
  bool IsMailClientRunning() const;
  // Raises InitOEAPI unless the mail client already runs.
  void StartMailClient();
  // Raises ShutdownOEAPI when it runs; its toolbar buttons go and new-message events stop until
  // the next ActivateNotifications.
  void StopMailClient();

  // What the user sees and does.
  std::vector<FolderSummary> Folders();
  // A folder by its id ("3") or its exact name ("Inbox"), or nothing.
  std::optional<int32_t> ResolveFolder(std::string_view nameOrId);
  // The folder's messages, or nothing for an unknown folder.
  std::optional<std::vector<MessageSummary>> Messages(int32_t folderId);
  // Selects messageIds (in that order) in folderId. False, and nothing changed, when the folder
  // or any of the messages is unknown.
  bool Select(int32_t folderId, const std::vector<int32_t>& messageIds);
  // The toolbar's button captions, in the order they were made.
  std::vector<std::string> ButtonCaptions() const;
  // Clicks the first button with that caption: raises ButtonClicked. False when there is none.
  bool Click(std::string_view caption);

  // The program's own commands on the control socket. A name of the mail client's commands
  // ("status", "list", ...) cannot be taken; a second command of the same name replaces the first,
  // a null one removes it.
  void SetProgramCommand(const std::string& name, ProgramCommand command);
  // The program's command of that name, or null.
  const ProgramCommand* FindProgramCommand(std::string_view name) const;

 signals:
  void InitOEAPI();
  void ShutdownOEAPI();
  // A message appeared in a folder's new/ while notifications were active.
  void NewMessage(int32_t folderId, int32_t messageId);
  // Something the user should find in the program's log, in one line: a file in new/ that is
  // not mail and was left there (once per file), a message that could not be moved or read and
  // why, a folder that could not be listed in the Maildir's subscriptions.
  void Notice(const QString& text);
  void ButtonClicked(int32_t toolbarId, int32_t buttonId);

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tervane

#endif  // TERVANE_EXTSERVER_EXTENSION_SERVER_H_
