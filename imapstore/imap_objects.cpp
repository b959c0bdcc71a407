#include "imapstore/imap_objects.h"

#include <optional>
#include <string>
#include <vector>

#include "imapstore/imap_mail_store.h"
#include "message/header_fields.h"

namespace tervane::imap {
namespace {

// How many messages a folder walk fetches the headers of in one go.
constexpr size_t kWalkSlice = 500;

// One message; its header section is fetched at the first call that needs it (a walk hands it
// over with the message), its body at each GetContent.
class ImapMessage : public IOEMessage {
 public:
  ImapMessage(ImapMailStore& store, int32_t folderId, int32_t messageId,
              std::optional<std::string> headers = std::nullopt)
      : store_(store), folderId_(folderId), messageId_(messageId), headers_(std::move(headers)) {}

  std::string GetRecipientName() override {
    return FirstMailboxName(HeaderFieldValue(GetHeaders(), "To"));
  }
  std::string GetSenderName() override {
    return FirstMailboxName(HeaderFieldValue(GetHeaders(), "From"));
  }
  std::string GetHeaders() override {
    if (!headers_)
      headers_ = store_.Headers(folderId_, messageId_);
    return *headers_;
  }
  std::string GetContent() override { return store_.Content(folderId_, messageId_); }

 private:
  ImapMailStore& store_;
  const int32_t folderId_;
  const int32_t messageId_;
  std::optional<std::string> headers_;
};

class ImapFolder : public IOEFolder {
 public:
  ImapFolder(ImapMailStore& store, int32_t folderId) : store_(store), folderId_(folderId) {}

  int32_t GetID() override { return folderId_; }
  std::string GetName() override { return store_.FolderName(folderId_).value_or(std::string()); }

  std::unique_ptr<IOEMessage> GetFirstMessage() override {
    uids_ = store_.WalkUids(folderId_);
    next_ = 0;
    slice_.clear();
    inSlice_ = 0;
    return GetNextMessage();
  }
  std::unique_ptr<IOEMessage> GetNextMessage() override {
    while (inSlice_ == slice_.size()) {
      if (next_ >= uids_.size())
        return nullptr;
      const size_t end = std::min(uids_.size(), next_ + kWalkSlice);
      slice_ = store_.WalkSlice(folderId_,
                                std::vector<uint32_t>(uids_.begin() + static_cast<ptrdiff_t>(next_),
                                                      uids_.begin() + static_cast<ptrdiff_t>(end)));
      next_ = end;
      inSlice_ = 0;
    }
    ImapMailStore::WalkedMessage& message = slice_[inSlice_++];
    return std::make_unique<ImapMessage>(store_, folderId_, message.id, std::move(message.headers));
  }
  std::unique_ptr<IOEMessage> GetMessage(int32_t messageId) override {
    if (!store_.MessageExists(folderId_, messageId))
      return nullptr;
    return std::make_unique<ImapMessage>(store_, folderId_, messageId);
  }

 private:
  ImapMailStore& store_;
  const int32_t folderId_;
  std::vector<uint32_t> uids_;  // the folder's messages when the walk started
  size_t next_ = 0;             // the first of uids_ not fetched yet
  std::vector<ImapMailStore::WalkedMessage> slice_;
  size_t inSlice_ = 0;
};

class ImapFolderManager : public IOEFolderManager {
 public:
  explicit ImapFolderManager(ImapMailStore& store) : store_(store) {}

  void ActivateNotifications() override { store_.ActivateNotifications(); }
  std::unique_ptr<IOEFolder> GetInboxFolder() override { return View(store_.InboxId()); }
  std::unique_ptr<IOEFolder> GetSentFolder() override { return View(store_.SentId()); }
  std::unique_ptr<IOEFolder> GetFolder(int32_t folderId) override { return View(folderId); }

  std::unique_ptr<IOEFolder> GetFirstFolder() override {
    walk_ = store_.FolderIds();
    next_ = 0;
    return GetNextFolder();
  }
  std::unique_ptr<IOEFolder> GetNextFolder() override {
    while (next_ < walk_.size()) {
      if (std::unique_ptr<IOEFolder> folder = View(walk_[next_++]))
        return folder;
    }
    return nullptr;
  }

  int32_t CreateFolder(int32_t parentId, const std::string& name) override {
    if (parentId != 0 && parentId != store_.InboxId())
      return -1;  // folders are made at the top level only
    return store_.CreateFolder(name);
  }
  int32_t MoveMessage(int32_t sourceFolderId, int32_t destFolderId, int32_t messageId) override {
    return store_.MoveMessage(sourceFolderId, destFolderId, messageId);
  }

 private:
  std::unique_ptr<IOEFolder> View(int32_t folderId) {
    if (!store_.FolderName(folderId))
      return nullptr;
    return std::make_unique<ImapFolder>(store_, folderId);
  }

  ImapMailStore& store_;
  std::vector<int32_t> walk_;
  size_t next_ = 0;
};

}  // namespace

std::unique_ptr<IOEFolderManager> MakeImapFolderManager(ImapMailStore& store) {
  return std::make_unique<ImapFolderManager>(store);
}

}  // namespace tervane::imap
