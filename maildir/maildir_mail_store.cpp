#include "maildir/maildir_mail_store.h"

#include <cstdlib>
#include <utility>

#include "base/xdg_dirs.h"
#include "maildir/maildir_files.h"
#include "maildir/maildir_names.h"
#include "maildir/maildir_objects.h"
#include "maildir/message_file.h"
#include "message/header_fields.h"

namespace tervane {
namespace {

// An unreadable message shows without sender and subject.
MessageSummary Summarize(int32_t id, const UniqueFd& file) {
  const std::string headers =
      file.valid() ? ReadMessageHeaders(file.get()).value_or(std::string()) : std::string();
  return MessageSummary{id, FirstMailboxAddress(HeaderFieldValue(headers, "From")),
                        DecodeHeaderText(HeaderFieldValue(headers, "Subject"))};
}

}  // namespace

std::filesystem::path DefaultMaildirRoot() {
  const char* root = std::getenv("MAILDIR");
  if (root != nullptr && *root != '\0') {
    return root;
  }
  return HomeFolder() / "Maildir";
}

MaildirMailStore::MaildirMailStore(std::filesystem::path root)
    : store_(std::move(root)), watcher_(store_) {
  QObject::connect(&watcher_, &NewMailWatcher::NewMessage, [this](int32_t folder, int32_t message) {
    if (newMessage_) {
      newMessage_(folder, message);
    }
  });
  QObject::connect(&watcher_, &NewMailWatcher::UserMoved,
                   [this](int32_t from, int32_t to, int32_t message) {
                     if (userMove_) {
                       userMove_(UserMove{from, to, message});
                     }
                   });
}

MaildirMailStore::~MaildirMailStore() = default;

void MaildirMailStore::SetNewMessageHandler(NewMessageHandler handler) {
  newMessage_ = std::move(handler);
}

void MaildirMailStore::SetNoticeHandler(NoticeHandler handler) {
  store_.SetNoticeHandler(std::move(handler));
}

void MaildirMailStore::SetUserMoveHandler(UserMoveHandler handler) {
  userMove_ = std::move(handler);
}

std::unique_ptr<IOEFolderManager> MaildirMailStore::NewFolderManager() {
  return MakeFolderManager(store_, watcher_);
}

void MaildirMailStore::DeactivateNotifications() {
  watcher_.Deactivate();
}

void MaildirMailStore::AnnounceArrivedMail() {
  watcher_.AnnounceArrivedMail();
}

MailStoreStatus MaildirMailStore::Status() const {
  return {"maildir", store_.Inbox().dir.string(), std::nullopt, {}};
}

bool MaildirMailStore::HasFolder(int32_t folderId) {
  return store_.Folder(folderId).has_value();
}

std::vector<FolderSummary> MaildirMailStore::Folders() {
  std::vector<FolderSummary> folders;
  for (const MaildirFolder& folder : store_.Walk()) {
    const auto count = static_cast<int32_t>(store_.Count(folder.id));
    folders.push_back(FolderSummary{folder.id, folder.name, count, folder.dir.string()});
  }
  return folders;
}

std::optional<std::vector<MessageSummary>> MaildirMailStore::Messages(int32_t folderId) {
  if (!store_.Folder(folderId)) {
    return std::nullopt;
  }
  std::vector<MessageSummary> messages;
  for (const int32_t id : store_.Scan(folderId)) {
    const OpenedMessage file = store_.OpenMessage(folderId, id);
    if (file.access != OpenedMessage::Access::kGone) {
      messages.push_back(Summarize(id, file.fd));
    }
  }
  return messages;
}

bool MaildirMailStore::HasMessage(int32_t folderId, int32_t messageId) {
  return store_.HasMessage(folderId, messageId);
}

std::optional<IMailStore::MessageRef> MaildirMailStore::FindMessageFile(
    const std::filesystem::path& file) {
  // A message file is <folder>/cur/<name> or <folder>/new/<name>; folders are told apart by
  // their directory's identity, as names and paths may show alike.
  const std::filesystem::path dir = file.parent_path().parent_path();
  const std::string_view unique = MaildirUniquePart(file.filename().native());
  for (const MaildirFolder& folder : store_.Walk()) {
    if (!SameFile(folder.dir, dir)) {
      continue;
    }
    for (const int32_t id : store_.Scan(folder.id)) {
      const std::optional<std::filesystem::path> path = store_.MessagePath(folder.id, id);
      if (path && MaildirUniquePart(path->filename().native()) == unique) {
        return MessageRef{folder.id, id};
      }
    }
  }
  return std::nullopt;
}

std::optional<int32_t> MaildirMailStore::FindMessageId(int32_t folderId,
                                                       std::string_view messageId) {
  if (messageId.empty()) {
    return std::nullopt;
  }
  for (const int32_t id : store_.Scan(folderId)) {
    const OpenedMessage file = store_.OpenMessage(folderId, id);
    if (file.fd.valid() &&
        MessageIdField(ReadMessageHeaders(file.fd.get()).value_or("")) == messageId) {
      return id;
    }
  }
  return std::nullopt;
}

}  // namespace tervane
