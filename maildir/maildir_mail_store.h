#ifndef TERVANE_MAILDIR_MAILDIR_MAIL_STORE_H_
#define TERVANE_MAILDIR_MAILDIR_MAIL_STORE_H_

#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "mailapi/mail_store.h"
#include "maildir/maildir_store.h"
#include "maildir/new_mail_watcher.h"

namespace tervane {

// $MAILDIR, else ~/Maildir. Throws NoHomeError when neither is set.
std::filesystem::path DefaultMaildirRoot();

// A Maildir++ tree as the extension server's mail store: the root is the inbox "Inbox", every
// subfolder ".Name" is folder "Name"; new mail is what appears in a folder's new/ (watched with
// inotify). Lives on the main thread and raises its events from the event loop.
class MaildirMailStore : public IMailStore {
 public:
  // Opens the Maildir at root, making root/{cur,new,tmp} when missing. Throws ExtensionError.
  explicit MaildirMailStore(std::filesystem::path root);
  ~MaildirMailStore() override;

  void SetNewMessageHandler(NewMessageHandler handler) override;
  void SetNoticeHandler(NoticeHandler handler) override;
  void SetUserMoveHandler(UserMoveHandler handler) override;
  std::unique_ptr<IOEFolderManager> NewFolderManager() override;
  void DeactivateNotifications() override;
  void AnnounceArrivedMail() override;
  MailStoreStatus Status() const override;
  bool HasFolder(int32_t folderId) override;
  std::vector<FolderSummary> Folders() override;
  std::optional<std::vector<MessageSummary>> Messages(int32_t folderId) override;
  bool HasMessage(int32_t folderId, int32_t messageId) override;
  std::optional<MessageRef> FindMessageFile(const std::filesystem::path& file) override;
  std::optional<int32_t> FindMessageId(int32_t folderId, std::string_view messageId) override;

  // The model and the watcher, for the tests and the tools that look closer.
  MaildirStore& store() { return store_; }
  NewMailWatcher& watcher() { return watcher_; }

 private:
  MaildirStore store_;
  NewMailWatcher watcher_;
  NewMessageHandler newMessage_;
  UserMoveHandler userMove_;
};

}  // namespace tervane

#endif  // TERVANE_MAILDIR_MAILDIR_MAIL_STORE_H_
