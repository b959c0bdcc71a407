#ifndef TERVANE_MAILAPI_MAIL_STORE_H_
#define TERVANE_MAILAPI_MAIL_STORE_H_

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mailapi/extension_interface.h"

namespace tervane {

// One row of the folder list and of a folder's message list, as the mail client's user sees
// them.
struct FolderSummary {
  int32_t id;
  std::string name;
  int32_t count;
  // Where the folder lives, as the store names it: its directory for a local store (names may
  // show alike, directories do not), or empty.
  std::string location;
};
struct MessageSummary {
  int32_t id;
  std::string sender;   // the address of the first From mailbox, or empty
  std::string subject;  // RFC 2047 decoded, or empty
};

// The folder that spam goes to: the first folder named exactly this (letter case counts).
inline constexpr std::string_view kSpamFolderName = "spam";

// A message that the user moved from one folder to another with a mail client of their own: not
// one of the store's own moves (MoveMessage), and not new mail that a delivery agent or a
// server-side rule filed. fromFolderId is 0 when the store cannot tell where the message came
// from (it appeared, as when a synchronizer brings down a message the user moved elsewhere).
struct UserMove {
  int32_t fromFolderId;
  int32_t toFolderId;
  int32_t messageId;  // its id in toFolderId
};

// Which store the program works on, and whether it can reach it now.
struct MailStoreStatus {
  std::string kind;               // "maildir" or "imap"
  std::string location;           // the Maildir's folder, or the account's address
  std::optional<bool> connected;  // a store behind a connection: whether it is connected now
  std::string problem;            // one not connected: the last failure, one line
};

// A mail store behind the extension server: one implementation per kind of store (a local
// Maildir, an IMAP account). The extension server hands out its folder managers and passes its
// new-mail events on to the mail client's components; the store knows nothing of the mail
// client's toolbar, selection or life.
class IMailStore {
 public:
  using NewMessageHandler = std::function<void(int32_t folderId, int32_t messageId)>;
  using NoticeHandler = std::function<void(const std::string& text)>;

  virtual ~IMailStore() = default;

  // Called for every new message while notifications are active (switched on by a folder
  // manager's ActivateNotifications), from the thread's event loop.
  virtual void SetNewMessageHandler(NewMessageHandler handler) = 0;
  // Called with one line for the user: what the store met and skipped, a move that failed.
  virtual void SetNoticeHandler(NoticeHandler handler) = 0;
  // Called for every message the user moves into or out of the spam folder (kSpamFolderName),
  // once, in the order of the moves, while notifications are active.
  using UserMoveHandler = std::function<void(const UserMove& move)>;
  virtual void SetUserMoveHandler(UserMoveHandler handler) = 0;

  // A view of the store with its own folder walk. Valid while the store lives.
  virtual std::unique_ptr<IOEFolderManager> NewFolderManager() = 0;
  // No new-message event from now until the next ActivateNotifications; what arrives meanwhile
  // is announced then.
  virtual void DeactivateNotifications() = 0;
  // Raises at once, from within a caller that keeps the event loop waiting through a long task,
  // the new-message events of mail that has arrived while notifications are active; the user's
  // moves, and what arrives after one, wait for the event loop. A store that cannot raises them
  // later, from the event loop.
  virtual void AnnounceArrivedMail() {}

  // True iff the store has a folder with that id now.
  virtual bool HasFolder(int32_t folderId) = 0;
  virtual MailStoreStatus Status() const = 0;

  // Every folder, the inbox first, with its number of messages.
  virtual std::vector<FolderSummary> Folders() = 0;
  // The folder's messages, or nothing for an unknown folder.
  virtual std::optional<std::vector<MessageSummary>> Messages(int32_t folderId) = 0;
  // True iff the folder holds that message now.
  virtual bool HasMessage(int32_t folderId, int32_t messageId) = 0;

  // A message of the store and its folder.
  struct MessageRef {
    int32_t folderId;
    int32_t messageId;
  };
  // The message whose file is file, for a store that keeps its messages in files; nothing for
  // any other file, and always for a store without files.
  virtual std::optional<MessageRef> FindMessageFile(const std::filesystem::path& /*file*/) {
    return std::nullopt;
  }
  // The first message of the folder whose Message-ID field is messageId (blanks around it
  // ignored), or nothing. A store that cannot search finds nothing.
  virtual std::optional<int32_t> FindMessageId(int32_t /*folderId*/,
                                               std::string_view /*messageId*/) {
    return std::nullopt;
  }
};

}  // namespace tervane

#endif  // TERVANE_MAILAPI_MAIL_STORE_H_
