#include "mailclient/mail_client_components.h"

namespace tervane {

TOEAPIInit::~TOEAPIInit() {
  Disconnect();
}

void TOEAPIInit::Connect() {
  if (connected_)
    return;
  connected_ = true;
  server_.Subscribe(*this);
  if (server_.IsMailClientRunning()) {
    // A client that arrives while the mail client runs hears of it like one that was there
    // at its start, but only from the event loop, never inside Connect.
    QMetaObject::invokeMethod(
        this,
        [this] {
          if (connected_)
            emit OnInitOEAPI();
        },
        Qt::QueuedConnection);
  }
}

void TOEAPIInit::Disconnect() {
  server_.Unsubscribe(*this);
  connected_ = false;
}

void TOEAPIInit::InitOEAPI() {
  emit OnInitOEAPI();
}

TOEFolderManager::~TOEFolderManager() {
  Disconnect();
}

void TOEFolderManager::Connect() {
  if (connected_)
    return;
  if (!store_)
    store_ = server_.NewFolderManager();
  connected_ = true;
  server_.Subscribe(*this);
}

void TOEFolderManager::Disconnect() {
  server_.Unsubscribe(*this);
  connected_ = false;
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
    api_ = server_.NewAPIObj();
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
  server_.Unsubscribe(*this);
  toolbar_ = std::move(toolbar);
  if (!toolbar_)
    return;
  toolbarId_ = toolbar_->GetID();
  server_.Subscribe(*this);
}

void TOEToolbar::ButtonClicked(int32_t toolbarId, int32_t buttonId) {
  if (toolbarId == toolbarId_)
    emit OnButtonClicked(buttonId);
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
  server_.Unsubscribe(*this);
  button_ = std::move(button);
  if (!button_)
    return;
  buttonId_ = button_->GetID();
  server_.Subscribe(*this);
}

void TOEButton::ButtonClicked(int32_t, int32_t buttonId) {
  if (buttonId == buttonId_)
    emit OnClick();
}

}  // namespace tervane
