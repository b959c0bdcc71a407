#include "extserver/extension_server.h"

#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <map>
#include <utility>

#include "extserver/client_objects.h"
#include "extserver/control_protocol.h"
#include "extserver/control_server.h"
#include "extserver/header_fields.h"
#include "extserver/mail_client_state.h"
#include "extserver/maildir_store.h"
#include "extserver/message_file.h"
#include "extserver/new_mail_watcher.h"
#include "extserver/store_objects.h"

namespace tervane {
namespace {

// The process's running server: the first one made, until it is destroyed.
ExtensionServer* gRunningServer = nullptr;

std::filesystem::path EnvironmentPath(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::filesystem::path(value) : std::filesystem::path();
}

MessageSummary Summarize(int32_t id, const UniqueFd& file) {
  const std::string headers =
      file.valid() ? ReadMessageHeaders(file.get()).value_or(std::string()) : std::string();
  return MessageSummary{id, FirstMailboxAddress(HeaderFieldValue(headers, "From")),
                        DecodeHeaderText(HeaderFieldValue(headers, "Subject"))};
}

}  // namespace

class ExtensionServer::Impl {
 public:
  explicit Impl(const ServerOptions& options) : store(options.maildirRoot), watcher(store) {}

  MaildirStore store;
  NewMailWatcher watcher;
  MailClientState client;
  std::map<std::string, ProgramCommand, std::less<>> programCommands;
  std::unique_ptr<ControlServer> control;  // goes first: it calls into the rest
};

std::filesystem::path DefaultMaildirRoot() {
  std::filesystem::path root = EnvironmentPath("MAILDIR");
  if (root.empty()) {
    root = EnvironmentPath("HOME") / "Maildir";
  }
  return root;
}

std::filesystem::path DefaultControlSocketPath() {
  const std::filesystem::path runtime = EnvironmentPath("XDG_RUNTIME_DIR");
  if (!runtime.empty()) {
    return runtime / "tervane" / "mailclient.sock";
  }
  return std::filesystem::path("/tmp") / ("tervane-" + std::to_string(::getuid())) /
         "mailclient.sock";
}

ExtensionServer::ExtensionServer(ServerOptions options, QObject* parent)
    : QObject(parent), impl_(std::make_unique<Impl>(options)) {
  connect(&impl_->watcher, &NewMailWatcher::NewMessage, this, &ExtensionServer::NewMessage);
  impl_->store.SetNoticeHandler(
      [this](const std::string& text) { emit Notice(QString::fromStdString(text)); });
  if (!options.socketPath.empty()) {
    impl_->control = std::make_unique<ControlServer>(*this, options.socketPath);
  }
  if (gRunningServer == nullptr) {
    gRunningServer = this;
  }
}

ExtensionServer::~ExtensionServer() {
  if (gRunningServer == this) {
    gRunningServer = nullptr;
  }
}

ExtensionServer& ExtensionServer::RunningOrNew() {
  if (gRunningServer == nullptr) {
    // Owned by the application, so it lives until the process ends.
    new ExtensionServer(ServerOptions{DefaultMaildirRoot(), DefaultControlSocketPath()},
                        QCoreApplication::instance());
  }
  return *gRunningServer;
}

std::unique_ptr<IOEFolderManager> ExtensionServer::NewFolderManager() {
  return MakeFolderManager(impl_->store, impl_->watcher);
}

std::unique_ptr<IOEAPIObj> ExtensionServer::NewAPIObj() {
  return MakeAPIObj(impl_->client);
}

bool ExtensionServer::IsMailClientRunning() const {
  return impl_->client.running();
}

void ExtensionServer::StartMailClient() {
  if (impl_->client.running()) {
    return;
  }
  impl_->client.SetRunning(true);
  emit InitOEAPI();
}

void ExtensionServer::StopMailClient() {
  if (!impl_->client.running()) {
    return;
  }
  impl_->client.SetRunning(false);
  impl_->watcher.Deactivate();
  emit ShutdownOEAPI();
}

std::vector<FolderSummary> ExtensionServer::Folders() {
  std::vector<FolderSummary> folders;
  for (const MaildirFolder& folder : impl_->store.Walk()) {
    const auto count = static_cast<int32_t>(impl_->store.Count(folder.id));
    folders.push_back(FolderSummary{folder.id, folder.name, count, folder.dir});
  }
  return folders;
}

std::optional<int32_t> ExtensionServer::ResolveFolder(std::string_view nameOrId) {
  const std::vector<MaildirFolder> folders = impl_->store.Walk();
  int32_t id = 0;
  const char* end = nameOrId.data() + nameOrId.size();
  if (const auto [at, error] = std::from_chars(nameOrId.data(), end, id);
      error == std::errc() && at == end) {
    if (impl_->store.Folder(id)) {
      return id;
    }
  }
  const auto named =
      std::find_if(folders.begin(), folders.end(),
                   [nameOrId](const MaildirFolder& f) { return f.name == nameOrId; });
  if (named == folders.end()) {
    return std::nullopt;
  }
  return named->id;
}

std::optional<std::vector<MessageSummary>> ExtensionServer::Messages(int32_t folderId) {
  if (!impl_->store.Folder(folderId)) {
    return std::nullopt;
  }
  std::vector<MessageSummary> messages;
  for (const int32_t id : impl_->store.Scan(folderId)) {
    if (const std::optional<UniqueFd> file = impl_->store.OpenMessage(folderId, id)) {
      messages.push_back(Summarize(id, *file));
    }
  }
  return messages;
}

bool ExtensionServer::Select(int32_t folderId, const std::vector<int32_t>& messageIds) {
  if (!impl_->store.Folder(folderId)) {
    return false;
  }
  for (const int32_t id : messageIds) {
    if (!impl_->store.HasMessage(folderId, id)) {
      return false;
    }
  }
  impl_->client.Select(folderId, messageIds);
  return true;
}

std::vector<std::string> ExtensionServer::ButtonCaptions() const {
  std::vector<std::string> captions;
  for (const ToolbarButton& button : impl_->client.buttons()) {
    captions.push_back(button.caption);
  }
  return captions;
}

bool ExtensionServer::Click(std::string_view caption) {
  const std::optional<int32_t> button = impl_->client.FindButton(caption);
  if (!button) {
    return false;
  }
  emit ButtonClicked(MailClientState::kToolbarId, *button);
  return true;
}

void ExtensionServer::SetProgramCommand(const std::string& name, ProgramCommand command) {
  if (ParseControlCommand(name)) {
    return;  // the mail client's own commands stay the mail client's
  }
  if (command) {
    impl_->programCommands.insert_or_assign(name, std::move(command));
  } else {
    impl_->programCommands.erase(name);
  }
}

const ProgramCommand* ExtensionServer::FindProgramCommand(std::string_view name) const {
  const auto found = impl_->programCommands.find(name);
  return found == impl_->programCommands.end() ? nullptr : &found->second;
}

}  // namespace tervane
