#include "extserver/extension_server.h"

#include <algorithm>
#include <charconv>

#include "extserver/client_objects.h"

namespace tervane {

ExtensionServer::ExtensionServer(IMailStore& store) : store_(store) {
  store_.SetNewMessageHandler([this](int32_t folderId, int32_t messageId) {
    RaiseEvent([=](IOEEvents& events) { events.NewMessage(folderId, messageId); });
  });
  store_.SetUserMoveHandler([this](const UserMove& move) {
    RaiseEvent([&move](IOEEvents& events) {
      events.MessageMoved(move.fromFolderId, move.toFolderId, move.messageId);
    });
  });
}

ExtensionServer::~ExtensionServer() {
  store_.SetNewMessageHandler(nullptr);
  store_.SetUserMoveHandler(nullptr);
}

template <typename Raise>
void ExtensionServer::RaiseEvent(Raise raise) {
  const std::vector<IOEEvents*> subscribers = subscribers_;
  for (IOEEvents* events : subscribers) {
    if (std::find(subscribers_.begin(), subscribers_.end(), events) != subscribers_.end()) {
      raise(*events);
    }
  }
}

std::unique_ptr<IOEFolderManager> ExtensionServer::NewFolderManager() {
  return store_.NewFolderManager();
}

std::unique_ptr<IOEAPIObj> ExtensionServer::NewAPIObj() {
  return MakeAPIObj(client_);
}

bool ExtensionServer::IsMailClientRunning() const {
  return client_.running();
}

void ExtensionServer::Subscribe(IOEEvents& events) {
  if (std::find(subscribers_.begin(), subscribers_.end(), &events) == subscribers_.end()) {
    subscribers_.push_back(&events);
  }
}

void ExtensionServer::Unsubscribe(IOEEvents& events) {
  subscribers_.erase(std::remove(subscribers_.begin(), subscribers_.end(), &events),
                     subscribers_.end());
}

void ExtensionServer::StartMailClient() {
  if (client_.running()) {
    return;
  }
  client_.SetRunning(true);
  RaiseEvent([](IOEEvents& events) { events.InitOEAPI(); });
}

void ExtensionServer::StopMailClient() {
  if (!client_.running()) {
    return;
  }
  client_.SetRunning(false);
  store_.DeactivateNotifications();
  RaiseEvent([](IOEEvents& events) { events.ShutdownOEAPI(); });
}

std::optional<int32_t> ExtensionServer::ResolveFolder(std::string_view nameOrId) {
  int32_t id = 0;
  const char* end = nameOrId.data() + nameOrId.size();
  if (const auto [at, error] = std::from_chars(nameOrId.data(), end, id);
      error == std::errc() && at == end && store_.HasFolder(id)) {
    return id;
  }
  const std::vector<FolderSummary> folders = store_.Folders();
  const auto named =
      std::find_if(folders.begin(), folders.end(),
                   [nameOrId](const FolderSummary& f) { return f.name == nameOrId; });
  if (named == folders.end()) {
    return std::nullopt;
  }
  return named->id;
}

bool ExtensionServer::Select(int32_t folderId, const std::vector<int32_t>& messageIds) {
  if (!store_.HasFolder(folderId)) {
    return false;
  }
  for (const int32_t id : messageIds) {
    if (!store_.HasMessage(folderId, id)) {
      return false;
    }
  }
  client_.Select(folderId, messageIds);
  return true;
}

std::vector<std::string> ExtensionServer::ButtonCaptions() const {
  std::vector<std::string> captions;
  for (const ToolbarButton& button : client_.buttons()) {
    captions.push_back(button.caption);
  }
  return captions;
}

bool ExtensionServer::Click(std::string_view caption) {
  const std::optional<int32_t> button = client_.FindButton(caption);
  if (!button) {
    return false;
  }
  RaiseEvent(
      [&](IOEEvents& events) { events.ButtonClicked(MailClientState::kToolbarId, *button); });
  return true;
}

}  // namespace tervane
