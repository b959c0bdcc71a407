#include "tests/support/fake_mail_store.h"

#include <algorithm>
#include <utility>

namespace tervane::testing {

std::string SimpleHeaders(const std::string& from, const std::string& to, const std::string& date) {
  std::string headers = "From: <" + from + ">\r\nTo: <" + to + ">\r\n";
  if (!date.empty())
    headers += "Date: " + date + "\r\n";
  headers += "Subject: test\r\n";
  return headers;
}

class FakeMailStore::MessageView : public IOEMessage {
 public:
  MessageView(FakeMailStore* store, const FakeMessage& message)
      : store_(store), message_(message) {}
  std::string GetRecipientName() override { return message_.recipientName; }
  std::string GetSenderName() override { return message_.senderName; }
  std::string GetHeaders() override {
    ++store_->getHeadersCalls_;
    if (store_->onGetHeaders_)
      store_->onGetHeaders_(store_->getHeadersCalls_);
    return message_.headers;
  }
  std::string GetContent() override { return message_.content; }

 private:
  FakeMailStore* store_;
  FakeMessage message_;  // a copy: the store may move or remove the message meanwhile
};

class FakeMailStore::Folder : public IOEFolder {
 public:
  Folder(FakeMailStore* store, int32_t id) : store_(store), id_(id) {}
  int32_t GetID() override { return id_; }
  std::string GetName() override { return Data().name; }
  std::unique_ptr<IOEMessage> GetFirstMessage() override {
    walk_ = Data().messages.begin();
    return Current();
  }
  std::unique_ptr<IOEMessage> GetNextMessage() override {
    if (walk_ != Data().messages.end())
      ++walk_;
    return Current();
  }
  std::unique_ptr<IOEMessage> GetMessage(int32_t messageId) override {
    const auto it = Data().messages.find(messageId);
    if (it == Data().messages.end())
      return nullptr;
    return std::make_unique<MessageView>(store_, it->second);
  }

 private:
  FolderData& Data() { return store_->folders_.at(id_); }
  std::unique_ptr<IOEMessage> Current() {
    if (walk_ == Data().messages.end())
      return nullptr;
    return std::make_unique<MessageView>(store_, walk_->second);
  }

  FakeMailStore* store_;
  int32_t id_;
  std::map<int32_t, FakeMessage>::iterator walk_;
};

class FakeMailStore::Toolbar : public IOEToolbar {
 public:
  explicit Toolbar(FakeMailStore* store) : store_(store) {}
  int32_t GetID() override { return 1; }
  std::unique_ptr<IOEButton> CreateButton(const std::string& caption,
                                          const std::string& bitmapNormal,
                                          const std::string& bitmapOver) override {
    if (caption.empty())
      throw ExtensionError("a toolbar button needs a caption");
    struct Button : IOEButton {
      explicit Button(int32_t id) : id(id) {}
      int32_t GetID() override { return id; }
      int32_t id;
    };
    return std::make_unique<Button>(store_->AddButton(caption, bitmapNormal, bitmapOver));
  }

 private:
  FakeMailStore* store_;
};

FakeMailStore::FakeMailStore() {
  AddFolder("Inbox");
  folderWalk_ = folders_.end();
}

FakeMailStore::~FakeMailStore() = default;

int32_t FakeMailStore::AddFolder(const std::string& name) {
  const int32_t id = nextFolderId_++;
  folders_[id].name = name;
  return id;
}

int32_t FakeMailStore::AddMessage(int32_t folderId, FakeMessage message) {
  const int32_t id = nextMessageId_++;
  folders_.at(folderId).messages.emplace(id, std::move(message));
  return id;
}

void FakeMailStore::RemoveMessage(int32_t folderId, int32_t messageId) {
  folders_.at(folderId).messages.erase(messageId);
}

std::vector<int32_t> FakeMailStore::MessageIds(int32_t folderId) const {
  std::vector<int32_t> ids;
  for (const auto& [id, message] : folders_.at(folderId).messages)
    ids.push_back(id);
  return ids;
}

const FakeMessage* FakeMailStore::FindMessage(int32_t folderId, int32_t messageId) const {
  const auto folder = folders_.find(folderId);
  if (folder == folders_.end())
    return nullptr;
  const auto it = folder->second.messages.find(messageId);
  return it == folder->second.messages.end() ? nullptr : &it->second;
}

void FakeMailStore::Select(int32_t folderId, std::vector<int32_t> messageIds) {
  selectedFolderId_ = folderId;
  selection_ = std::move(messageIds);
  selectionIndex_ = 0;
}

std::unique_ptr<IOEFolder> FakeMailStore::FolderObject(int32_t folderId) {
  if (folders_.count(folderId) == 0)
    return nullptr;
  return std::make_unique<Folder>(this, folderId);
}

std::unique_ptr<IOEFolder> FakeMailStore::GetInboxFolder() {
  return FolderObject(kInboxId);
}

std::unique_ptr<IOEFolder> FakeMailStore::GetSentFolder() {
  return FolderObject(sentFolderId_);
}

std::unique_ptr<IOEFolder> FakeMailStore::GetFolder(int32_t folderId) {
  ++getFolderCalls_;
  return FolderObject(folderId);
}

std::unique_ptr<IOEFolder> FakeMailStore::GetFirstFolder() {
  folderWalk_ = folders_.begin();
  return folderWalk_ == folders_.end() ? nullptr : FolderObject(folderWalk_->first);
}

std::unique_ptr<IOEFolder> FakeMailStore::GetNextFolder() {
  if (folderWalk_ != folders_.end())
    ++folderWalk_;
  return folderWalk_ == folders_.end() ? nullptr : FolderObject(folderWalk_->first);
}

int32_t FakeMailStore::CreateFolder(int32_t /*parentId*/, const std::string& name) {
  return name.empty() ? -1 : AddFolder(name);
}

int32_t FakeMailStore::MoveMessage(int32_t sourceFolderId, int32_t destFolderId,
                                   int32_t messageId) {
  const auto source = folders_.find(sourceFolderId);
  const auto dest = folders_.find(destFolderId);
  if (source == folders_.end() || dest == folders_.end() || sourceFolderId == destFolderId) {
    return -1;
  }
  const auto message = source->second.messages.find(messageId);
  if (message == source->second.messages.end())
    return -1;
  const int32_t newId = nextMessageId_++;
  dest->second.messages.emplace(newId, std::move(message->second));
  source->second.messages.erase(message);
  moves_.push_back({sourceFolderId, destFolderId, messageId});
  return newId;
}

std::unique_ptr<IOEToolbar> FakeMailStore::GetToolbar() {
  if (!toolbarAvailable_)
    return nullptr;
  return std::make_unique<Toolbar>(this);
}

void FakeMailStore::RemoveToolbars() {
  ++removeToolbarsCalls_;
  buttons_.clear();
}

int32_t FakeMailStore::GetFirstSelectedMessageID() {
  selectionIndex_ = 0;
  return GetNextSelectedMessageID();
}

int32_t FakeMailStore::GetNextSelectedMessageID() {
  return selectionIndex_ < selection_.size() ? selection_[selectionIndex_++] : -1;
}

int32_t FakeMailStore::AddButton(const std::string& caption, const std::string& normal,
                                 const std::string& over) {
  buttons_.push_back({nextButtonId_, caption, normal, over});
  return nextButtonId_++;
}

}  // namespace tervane::testing
