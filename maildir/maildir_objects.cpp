#include "maildir/maildir_objects.h"

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "maildir/maildir_store.h"
#include "maildir/message_file.h"
#include "maildir/new_mail_watcher.h"
#include "message/header_fields.h"

namespace tervane {
namespace {

// One message, read from its file at each call so a reader's rename in between is followed.
// A message whose file is gone throws MessageGone; one that cannot be read now throws
// MessageUnreadable, and new mail is then announced again at the next activation.
class MaildirMessage : public IOEMessage {
 public:
  MaildirMessage(MaildirStore& store, int32_t folderId, int32_t messageId)
      : store_(store), folderId_(folderId), messageId_(messageId) {}

  std::string GetRecipientName() override { return FirstMailboxName(Field("To")); }
  std::string GetSenderName() override { return FirstMailboxName(Field("From")); }
  std::string GetHeaders() override { return Read(&ReadMessageHeaders); }
  std::string GetContent() override { return Read(&ReadMessageBody); }

 private:
  std::string Read(std::optional<std::string> (*read)(int)) {
    const OpenedMessage file = store_.OpenMessage(folderId_, messageId_);
    int error = file.error;
    switch (file.access) {
      case OpenedMessage::Access::kGone:
        throw MessageGone("message " + std::to_string(messageId_) + " is gone");
      case OpenedMessage::Access::kOpen:
        errno = 0;
        if (std::optional<std::string> text = read(file.fd.get())) {
          return std::move(*text);
        }
        error = errno != 0 ? errno : EIO;  // a file that is no longer a regular one
        break;
      case OpenedMessage::Access::kUnreadable:
        break;
    }
    store_.Retry(messageId_);
    throw MessageUnreadable("could not read " + file.path + ": " + std::strerror(error));
  }
  std::string Field(std::string_view name) { return HeaderFieldValue(GetHeaders(), name); }

  MaildirStore& store_;
  const int32_t folderId_;
  const int32_t messageId_;
};

// A folder as the store knows it; its messages are looked at on the disk.
class MaildirFolderView : public IOEFolder {
 public:
  MaildirFolderView(MaildirStore& store, const MaildirFolder& folder)
      : store_(store), folder_(folder) {}

  int32_t GetID() override { return folder_.id; }
  std::string GetName() override { return folder_.name; }

  std::unique_ptr<IOEMessage> GetFirstMessage() override {
    walk_ = store_.Scan(folder_.id);
    next_ = 0;
    return GetNextMessage();
  }
  std::unique_ptr<IOEMessage> GetNextMessage() override {
    while (next_ < walk_.size()) {
      if (std::unique_ptr<IOEMessage> message = GetMessage(walk_[next_++])) {
        return message;
      }
    }
    return nullptr;
  }
  std::unique_ptr<IOEMessage> GetMessage(int32_t messageId) override {
    if (!store_.HasMessage(folder_.id, messageId)) {
      return nullptr;
    }
    return std::make_unique<MaildirMessage>(store_, folder_.id, messageId);
  }

 private:
  MaildirStore& store_;
  const MaildirFolder& folder_;  // the store's, which outlives this view
  std::vector<int32_t> walk_;    // the message ids when the walk started
  size_t next_ = 0;
};

class MaildirFolderManager : public IOEFolderManager {
 public:
  MaildirFolderManager(MaildirStore& store, NewMailWatcher& watcher)
      : store_(store), watcher_(watcher) {}

  void ActivateNotifications() override { watcher_.Activate(); }
  std::unique_ptr<IOEFolder> GetInboxFolder() override { return View(&store_.Inbox()); }
  std::unique_ptr<IOEFolder> GetSentFolder() override {
    const std::optional<MaildirFolder> sent = store_.SentFolder();
    return View(sent ? store_.KnownFolder(sent->id) : nullptr);
  }
  // A known folder without a look at the disk: each new message asks for its folder, and a
  // folder that went away has no messages to hand out.
  std::unique_ptr<IOEFolder> GetFolder(int32_t folderId) override {
    return View(store_.KnownFolder(folderId));
  }

  std::unique_ptr<IOEFolder> GetFirstFolder() override {
    walk_ = store_.Walk();
    next_ = 0;
    return GetNextFolder();
  }
  std::unique_ptr<IOEFolder> GetNextFolder() override {
    while (next_ < walk_.size()) {
      if (std::unique_ptr<IOEFolder> folder = GetFolder(walk_[next_++].id)) {
        return folder;
      }
    }
    return nullptr;
  }

  int32_t CreateFolder(int32_t parentId, const std::string& name) override {
    if (parentId != 0 && parentId != store_.Inbox().id) {
      return -1;  // folders are made at the top level only
    }
    return store_.CreateFolder(name);
  }
  int32_t MoveMessage(int32_t sourceFolderId, int32_t destFolderId, int32_t messageId) override {
    return store_.MoveMessage(sourceFolderId, destFolderId, messageId);
  }

 private:
  std::unique_ptr<IOEFolder> View(const MaildirFolder* folder) {
    if (folder == nullptr) {
      return nullptr;
    }
    return std::make_unique<MaildirFolderView>(store_, *folder);
  }

  MaildirStore& store_;
  NewMailWatcher& watcher_;
  std::vector<MaildirFolder> walk_;
  size_t next_ = 0;
};

}  // namespace

std::unique_ptr<IOEFolderManager> MakeFolderManager(MaildirStore& store, NewMailWatcher& watcher) {
  return std::make_unique<MaildirFolderManager>(store, watcher);
}

}  // namespace tervane
