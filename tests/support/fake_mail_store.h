#ifndef TERVANE_TESTS_SUPPORT_FAKE_MAIL_STORE_H_
#define TERVANE_TESTS_SUPPORT_FAKE_MAIL_STORE_H_

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "mailapi/extension_interface.h"

namespace tervane::testing {

// One message of the fake store.
struct FakeMessage {
  std::string headers{};
  std::string content{};
  std::string senderName{};
  std::string recipientName{};
};

// The header text of a simple message: "From: <from>", "To: <to>", optional "Date: <date>".
std::string SimpleHeaders(const std::string& from, const std::string& to = "me@home.example",
                          const std::string& date = "");

// An in-memory mail client: folders, messages, the selection and the toolbar, behind the
// extension interface the program calls. Ids are handed out from 1 and never reused; the inbox
// is folder 1 and comes first in the folder walk. Counters show how often the program called.
class FakeMailStore : public IOEFolderManager, public IOEAPIObj {
 public:
  struct Move {
    int32_t from;
    int32_t to;
    int32_t messageId;
    bool operator==(const Move&) const = default;
  };
  struct Button {
    int32_t id;
    std::string caption;
    std::string bitmapNormal;
    std::string bitmapOver;
  };

  FakeMailStore();
  ~FakeMailStore() override;

  int32_t InboxId() const { return kInboxId; }
  // Adds a top-level folder and returns its id.
  int32_t AddFolder(const std::string& name);
  // Makes folderId the folder of sent mail (-1: the store has none).
  void SetSentFolder(int32_t folderId) { sentFolderId_ = folderId; }
  // Adds a message to folderId and returns its id.
  int32_t AddMessage(int32_t folderId, FakeMessage message);
  void RemoveMessage(int32_t folderId, int32_t messageId);
  // The ids of folderId's messages, oldest first; the message, or null.
  std::vector<int32_t> MessageIds(int32_t folderId) const;
  const FakeMessage* FindMessage(int32_t folderId, int32_t messageId) const;
  // Sets what the user has selected.
  void Select(int32_t folderId, std::vector<int32_t> messageIds);

  // What the program did.
  const std::vector<Move>& moves() const { return moves_; }
  const std::vector<Button>& buttons() const { return buttons_; }
  bool notificationsActive() const { return notificationsActive_; }
  int getFolderCalls() const { return getFolderCalls_; }
  int getHeadersCalls() const { return getHeadersCalls_; }
  int removeToolbarsCalls() const { return removeToolbarsCalls_; }
  void set_toolbarAvailable(bool available) { toolbarAvailable_ = available; }
  // Runs before every GetHeaders answer, with the number of that call (from 1).
  void set_onGetHeaders(std::function<void(int)> hook) { onGetHeaders_ = std::move(hook); }

  // IOEFolderManager
  void ActivateNotifications() override { notificationsActive_ = true; }
  std::unique_ptr<IOEFolder> GetInboxFolder() override;
  std::unique_ptr<IOEFolder> GetSentFolder() override;
  std::unique_ptr<IOEFolder> GetFolder(int32_t folderId) override;
  std::unique_ptr<IOEFolder> GetFirstFolder() override;
  std::unique_ptr<IOEFolder> GetNextFolder() override;
  int32_t CreateFolder(int32_t parentId, const std::string& name) override;
  int32_t MoveMessage(int32_t sourceFolderId, int32_t destFolderId, int32_t messageId) override;

  // IOEAPIObj
  std::unique_ptr<IOEToolbar> GetToolbar() override;
  void RemoveToolbars() override;
  int32_t GetSelectedFolderID() override { return selectedFolderId_; }
  int32_t GetFirstSelectedMessageID() override;
  int32_t GetNextSelectedMessageID() override;

 private:
  class Folder;
  class MessageView;
  class Toolbar;
  struct FolderData {
    std::string name;
    std::map<int32_t, FakeMessage> messages;
  };
  static constexpr int32_t kInboxId = 1;

  std::unique_ptr<IOEFolder> FolderObject(int32_t folderId);
  int32_t AddButton(const std::string& caption, const std::string& normal, const std::string& over);

  std::map<int32_t, FolderData> folders_;
  int32_t nextFolderId_ = kInboxId;
  int32_t nextMessageId_ = 1;
  int32_t sentFolderId_ = -1;
  std::map<int32_t, FolderData>::iterator folderWalk_;
  int32_t selectedFolderId_ = -1;
  std::vector<int32_t> selection_;
  std::size_t selectionIndex_ = 0;
  std::vector<Move> moves_;
  std::vector<Button> buttons_;
  int32_t nextButtonId_ = 1;
  bool notificationsActive_ = false;
  bool toolbarAvailable_ = true;
  int getFolderCalls_ = 0;
  int getHeadersCalls_ = 0;
  int removeToolbarsCalls_ = 0;
  std::function<void(int)> onGetHeaders_;
};

}  // namespace tervane::testing

#endif  // TERVANE_TESTS_SUPPORT_FAKE_MAIL_STORE_H_
