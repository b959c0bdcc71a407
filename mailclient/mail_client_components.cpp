#include "mailclient/mail_client_components.h"

#include "extserver/extension_server.h"

namespace tervane {

TOEAPIInit::~TOEAPIInit() {
  Disconnect();
}

void TOEAPIInit::Connect() {
  if (server_)
    return;
  server_ = &ExtensionServer::RunningOrNew();
  init_ = connect(server_, &ExtensionServer::InitOEAPI, this, &TOEAPIInit::OnInitOEAPI);
  shutdown_ = connect(server_, &ExtensionServer::ShutdownOEAPI, this, &TOEAPIInit::OnShutdownOEAPI);
  if (server_->IsMailClientRunning()) {
    // A client that arrives while the mail client runs hears of it like one that was there
    // at its start, but only from the event loop, never inside Connect.
    QMetaObject::invokeMethod(
        this,
        [this] {
          if (server_)
            emit OnInitOEAPI();
        },
        Qt::QueuedConnection);
  }
}

void TOEAPIInit::Disconnect() {
  disconnect(init_);
  disconnect(shutdown_);
  server_ = nullptr;
}

TOEFolderManager::~TOEFolderManager() {
  Disconnect();
}

void TOEFolderManager::Connect() {
  if (server_)
    return;
  ExtensionServer& server = ExtensionServer::RunningOrNew();
  if (!store_)
    store_ = server.NewFolderManager();
  server_ = &server;
  newMessage_ =
      connect(server_, &ExtensionServer::NewMessage, this, &TOEFolderManager::OnNewMessage);
}

void TOEFolderManager::Disconnect() {
  disconnect(newMessage_);
  server_ = nullptr;
}

IOEFolderManager& TOEFolderManager::Store() {
  Connect();
  return *store_;
}

void TOEFolderManager::ActivateNotifications() {
  Store().ActivateNotifications();
}

std::unique_ptr<IOEFolder> TOEFolderManager::GetInboxFolder() {
  return Store().GetInboxFolder();
}

std::unique_ptr<IOEFolder> TOEFolderManager::GetSentFolder() {
  return Store().GetSentFolder();
}

std::unique_ptr<IOEFolder> TOEFolderManager::GetFolder(int32_t folderId) {
  return Store().GetFolder(folderId);
}

std::unique_ptr<IOEFolder> TOEFolderManager::GetFirstFolder() {
  return Store().GetFirstFolder();
}

std::unique_ptr<IOEFolder> TOEFolderManager::GetNextFolder() {
  return Store().GetNextFolder();
}

int32_t TOEFolderManager::CreateFolder(int32_t parentId, const std::string& name) {
  return Store().CreateFolder(parentId, name);
}

int32_t TOEFolderManager::MoveMessage(int32_t sourceFolderId, int32_t destFolderId,
                                      int32_t messageId) {
  return Store().MoveMessage(sourceFolderId, destFolderId, messageId);
}

TOEAPIObj::~TOEAPIObj() = default;

IOEAPIObj& TOEAPIObj::Api() {
  if (!api_)
    api_ = ExtensionServer::RunningOrNew().NewAPIObj();
  return *api_;
}

std::unique_ptr<IOEToolbar> TOEAPIObj::GetToolbar() {
  return Api().GetToolbar();
}

void TOEAPIObj::RemoveToolbars() {
  Api().RemoveToolbars();
}

int32_t TOEAPIObj::GetSelectedFolderID() {
  return Api().GetSelectedFolderID();
}

int32_t TOEAPIObj::GetFirstSelectedMessageID() {
  return Api().GetFirstSelectedMessageID();
}

int32_t TOEAPIObj::GetNextSelectedMessageID() {
  return Api().GetNextSelectedMessageID();
}

TOEToolbar::~TOEToolbar() {
  Bind(nullptr);
}

void TOEToolbar::Bind(std::unique_ptr<IOEToolbar> toolbar) {
  disconnect(clicked_);
  toolbar_ = std::move(toolbar);
  if (!toolbar_)
    return;
  const int32_t toolbarId = toolbar_->GetID();
  clicked_ = connect(&ExtensionServer::RunningOrNew(), &ExtensionServer::ButtonClicked, this,
                     [this, toolbarId](int32_t clickedToolbarId, int32_t buttonId) {
                       if (clickedToolbarId == toolbarId)
                         emit OnButtonClicked(buttonId);
                     });
}

std::unique_ptr<IOEButton> TOEToolbar::CreateButton(const std::string& caption,
                                                    const std::string& bitmapNormal,
                                                    const std::string& bitmapOver) {
  if (!toolbar_)
    throw ExtensionError("the toolbar component is not bound to a toolbar");
  return toolbar_->CreateButton(caption, bitmapNormal, bitmapOver);
}

TOEButton::~TOEButton() {
  Bind(nullptr);
}

void TOEButton::Bind(std::unique_ptr<IOEButton> button) {
  disconnect(clicked_);
  button_ = std::move(button);
  if (!button_)
    return;
  const int32_t buttonId = button_->GetID();
  clicked_ = connect(&ExtensionServer::RunningOrNew(), &ExtensionServer::ButtonClicked, this,
                     [this, buttonId](int32_t, int32_t clickedButtonId) {
                       if (clickedButtonId == buttonId)
                         emit OnClick();
                     });
}

}  // namespace tervane
