#ifndef TERVANE_EXTSERVER_EXTENSION_SERVER_H_
#define TERVANE_EXTSERVER_EXTENSION_SERVER_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "extserver/mail_client_state.h"
#include "mailapi/mail_store.h"
#include "mailapi/oe_server.h"

namespace tervane {

// The mail client's extension server: the mail client's life, its toolbar and the user's
// selection, over whichever mail store it is handed. Its client components subscribe to its
// events; the store's new mail reaches them through it. Everything runs on the thread that made
// it (the main thread). The mail client counts as running from the start.
class ExtensionServer : public IOEServer {
 public:
  // REQUIRES: store outlives the server.
  explicit ExtensionServer(IMailStore& store);
  ~ExtensionServer() override;
  ExtensionServer(const ExtensionServer&) = delete;
  ExtensionServer& operator=(const ExtensionServer&) = delete;

  std::unique_ptr<IOEFolderManager> NewFolderManager() override;
  std::unique_ptr<IOEAPIObj> NewAPIObj() override;
  bool IsMailClientRunning() const override;
  void Subscribe(IOEEvents& events) override;
  void Unsubscribe(IOEEvents& events) override;

  IMailStore& store() { return store_; }

  // The mail client's life, as its user drives it.
  // Raises InitOEAPI unless the mail client already runs.
  void StartMailClient();
  // Raises ShutdownOEAPI when it runs; its toolbar buttons go and new-message events stop
  // until the next ActivateNotifications.
  void StopMailClient();

  // What the user sees and does.
  // The store's folders, the inbox first, and a folder's messages (nothing for an unknown one).
  std::vector<FolderSummary> Folders() { return store_.Folders(); }
  std::optional<std::vector<MessageSummary>> Messages(int32_t folderId) {
    return store_.Messages(folderId);
  }
  // A folder by its id ("3") or its exact name ("Inbox"), or nothing.
  std::optional<int32_t> ResolveFolder(std::string_view nameOrId);
  // Selects messageIds (in that order) in folderId. False, and nothing changed, when the folder
  // or any of the messages is unknown.
  bool Select(int32_t folderId, const std::vector<int32_t>& messageIds);
  // The toolbar's button captions, in the order they were made.
  std::vector<std::string> ButtonCaptions() const;
  // Clicks the first button with that caption: raises ButtonClicked. False when there is none.
  bool Click(std::string_view caption);

 private:
  // Calls raise on every subscriber, skipping those that an earlier one unsubscribed.
  template <typename Raise>
  void RaiseEvent(Raise raise);

  IMailStore& store_;
  MailClientState client_;
  std::vector<IOEEvents*> subscribers_;
};

}  // namespace tervane

#endif  // TERVANE_EXTSERVER_EXTENSION_SERVER_H_
