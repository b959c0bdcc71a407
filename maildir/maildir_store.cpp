#include "maildir/maildir_store.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "mailapi/extension_interface.h"
#include "mailapi/mail_store.h"
#include "maildir/maildir_delivery.h"
#include "maildir/maildir_files.h"
#include "maildir/maildir_subscriptions.h"
#include "maildir/message_file.h"

namespace tervane {
namespace {

constexpr std::string_view kInboxName = "Inbox";
constexpr std::string_view kSentNames[] = {"Sent", "Sent Items", "Sent Messages"};
// Opening a message follows it this many times when it keeps moving while it is looked for.
constexpr int kOpenAttempts = 3;

const char* SubdirName(MaildirSubdir subdir) {
  return subdir == MaildirSubdir::kNew ? "new" : "cur";
}

bool IsMessageName(std::string_view fileName) {
  return !fileName.empty() && fileName[0] != '.';
}

}  // namespace

// A message file found by reading new/ or cur/.
struct MaildirStore::FileEntry {
  std::string name;
  MaildirSubdir subdir;
};

MaildirStore::MaildirStore(std::filesystem::path root) : root_(std::move(root)) {
  std::error_code error;
  std::filesystem::create_directories(root_, error);
  if (!MakeMaildirFolder(root_, /*subfolder=*/false)) {
    throw ExtensionError("cannot make the Maildir " + root_.string() + ": " + std::strerror(errno));
  }
  inboxId_ = Register(root_, std::string(kInboxName)).id;
}

void MaildirStore::SetFolderMetHandler(std::function<void(const MaildirFolder&)> handler) {
  folderMet_ = std::move(handler);
}

void MaildirStore::SetNoticeHandler(std::function<void(const std::string&)> handler) {
  notice_ = std::move(handler);
}

void MaildirStore::SetRefreshHandler(std::function<void()> handler) {
  refresh_ = std::move(handler);
}

void MaildirStore::Notice(const std::string& text) const {
  if (notice_) {
    notice_(text);
  }
}

const MaildirFolder& MaildirStore::Register(const std::filesystem::path& dir, std::string name) {
  const auto [known, added] = folderIds_.try_emplace(dir.string(), lastFolderId_ + 1);
  if (added) {
    ++lastFolderId_;
    folders_[known->second].folder = MaildirFolder{known->second, std::move(name), dir};
  }
  const MaildirFolder& folder = folders_.at(known->second).folder;
  if (folderMet_) {
    folderMet_(folder);
  }
  return folder;
}

std::vector<MaildirFolder> MaildirStore::Walk() {
  std::vector<std::string> names;
  for (const DirectoryEntry& entry : ReadDirectory(root_)) {
    if (entry.name[0] == '.' && IsMaildirFolder(root_ / entry.name)) {
      names.push_back(entry.name.substr(1));
    }
  }
  std::sort(names.begin(), names.end());

  std::vector<MaildirFolder> walk{Inbox()};
  for (std::string& name : names) {
    const std::filesystem::path dir = root_ / ("." + name);
    walk.push_back(Register(dir, std::move(name)));
  }
  return walk;
}

const MaildirFolder& MaildirStore::Inbox() const {
  return folders_.at(inboxId_).folder;
}

MaildirStore::FolderState* MaildirStore::KnownState(int32_t folderId) {
  const auto found = folders_.find(folderId);
  return found == folders_.end() ? nullptr : &found->second;
}

const MaildirFolder* MaildirStore::KnownFolder(int32_t folderId) const {
  const auto found = folders_.find(folderId);
  return found == folders_.end() ? nullptr : &found->second.folder;
}

MaildirStore::FolderState* MaildirStore::FindFolder(int32_t folderId) {
  FolderState* folder = KnownState(folderId);
  return folder != nullptr && IsDirectory(folder->folder.dir) ? folder : nullptr;
}

MaildirStore::Message* MaildirStore::FindMessage(int32_t folderId, int32_t messageId) {
  const auto found = messages_.find(messageId);
  return found == messages_.end() || found->second.folderId != folderId ? nullptr : &found->second;
}

std::optional<MaildirFolder> MaildirStore::Folder(int32_t folderId) {
  const FolderState* state = FindFolder(folderId);
  if (state == nullptr) {
    return std::nullopt;
  }
  return state->folder;
}

std::optional<MaildirFolder> MaildirStore::SentFolder() {
  for (const std::string_view name : kSentNames) {
    const std::filesystem::path dir = MaildirFolderPath(root_, name);
    if (IsMaildirFolder(dir)) {
      return Register(dir, std::string(name));
    }
  }
  return std::nullopt;
}

bool MaildirStore::MakeOnDisk(const std::filesystem::path& dir, const std::string& name) {
  const bool subfolder = dir != root_;
  if (!MakeMaildirFolder(dir, subfolder)) {
    return false;
  }
  if (subfolder) {
    if (const std::string failure = SubscribeMaildirFolder(root_, name); !failure.empty()) {
      Notice("The folder " + name + " was made but is not subscribed: " + failure);
    }
  }
  return true;
}

int32_t MaildirStore::CreateFolder(std::string_view name) {
  if (name.empty() || name.front() == '.' || name.find('/') != std::string_view::npos ||
      name.find('\0') != std::string_view::npos) {
    return -1;
  }
  const std::filesystem::path dir = MaildirFolderPath(root_, name);
  if (!IsMaildirFolder(dir) && !MakeOnDisk(dir, std::string(name))) {
    return -1;
  }
  return Register(dir, std::string(name)).id;
}

int32_t MaildirStore::Note(FolderState& folder, MaildirSubdir subdir, std::string_view fileName,
                           Announcement announcement) {
  const std::string_view unique = MaildirUniquePart(fileName);
  const auto known = folder.messageIds.find(unique);
  if (known == folder.messageIds.end()) {
    const int32_t id = ++lastMessageId_;
    const auto added = messages_.emplace(
        id, Message{folder.folder.id, subdir, announcement, false, std::string(fileName)});
    folder.messageIds.emplace(MaildirUniquePart(added.first->second.fileName), id);
    return id;
  }
  const int32_t id = known->second;
  Message& message = messages_.at(id);
  if (message.fileName != fileName) {
    // The key views the old name: it goes out while the name changes.
    auto node = folder.messageIds.extract(known);
    message.fileName = fileName;
    node.key() = MaildirUniquePart(message.fileName);
    folder.messageIds.insert(std::move(node));
  }
  message.subdir = subdir;
  message.departed = false;
  return id;
}

void MaildirStore::Forget(int32_t messageId) {
  const auto found = messages_.find(messageId);
  if (found == messages_.end()) {
    return;
  }
  folders_.at(found->second.folderId).messageIds.erase(MaildirUniquePart(found->second.fileName));
  messages_.erase(found);
}

void MaildirStore::ForgetAll(FolderState& folder) {
  for (const auto& [unique, id] : folder.messageIds) {
    messages_.erase(id);
  }
  folder.messageIds.clear();
}

std::string MaildirStore::SubdirPath(const FolderState& folder, MaildirSubdir subdir) const {
  return folder.folder.dir.native() + '/' + SubdirName(subdir);
}

std::string MaildirStore::PathOf(const FolderState& folder, const Message& message) const {
  return SubdirPath(folder, message.subdir) + '/' + message.fileName;
}

void MaildirStore::NotMail(const std::string& file, const std::string& what) {
  if (reportedNotMail_.insert(file).second) {
    Notice("Skipped " + file + ": " + what + " is not a mail file; left where it is.");
  }
}

std::vector<MaildirStore::FileEntry> MaildirStore::ListMessageFiles(FolderState& folder,
                                                                    MaildirSubdir subdir) {
  const std::string dir = SubdirPath(folder, subdir);
  std::vector<FileEntry> files;
  std::vector<int32_t> notMessages;
  for (DirectoryEntry& entry : ReadDirectory(dir)) {
    if (!IsMessageName(entry.name)) {
      continue;
    }
    if (S_ISREG(entry.type)) {
      files.push_back(FileEntry{std::move(entry.name), subdir});
      continue;
    }
    if (subdir == MaildirSubdir::kNew && !S_ISLNK(entry.type)) {
      NotMail(dir + '/' + entry.name, DescribeFileType(entry.type));
    }
    const auto known = folder.messageIds.find(MaildirUniquePart(entry.name));
    if (known != folder.messageIds.end() && messages_.at(known->second).fileName == entry.name) {
      notMessages.push_back(known->second);  // noted from an event before it was seen
    }
  }
  for (const int32_t id : notMessages) {
    Forget(id);
  }
  return files;
}

std::vector<int32_t> MaildirStore::Scan(int32_t folderId) {
  FolderState* folder = FindFolder(folderId);
  if (folder == nullptr) {
    if (FolderState* gone = KnownState(folderId)) {
      ForgetAll(*gone);
    }
    return {};
  }
  std::vector<FileEntry> files = ListMessageFiles(*folder, MaildirSubdir::kNew);
  std::vector<FileEntry> cur = ListMessageFiles(*folder, MaildirSubdir::kCur);
  files.insert(files.end(), std::make_move_iterator(cur.begin()),
               std::make_move_iterator(cur.end()));
  std::sort(files.begin(), files.end(),
            [](const FileEntry& a, const FileEntry& b) { return a.name < b.name; });

  std::unordered_map<std::string_view, int32_t> before;
  before.swap(folder->messageIds);
  std::vector<int32_t> ids;
  ids.reserve(files.size());
  for (const FileEntry& file : files) {
    const std::string_view unique = MaildirUniquePart(file.name);
    if (folder->messageIds.contains(unique)) {
      continue;  // the same message in new/ and cur/ at once: a reader's rename in flight
    }
    const auto old = before.find(unique);
    if (old != before.end()) {
      folder->messageIds.insert(before.extract(old));
    }
    const bool fresh = file.subdir == MaildirSubdir::kNew;
    ids.push_back(Note(*folder, file.subdir, file.name,
                       fresh ? Announcement::kWaiting : Announcement::kNotNew));
  }
  for (const auto& [unique, id] : before) {
    messages_.erase(id);
  }
  return ids;
}

size_t MaildirStore::Count(int32_t folderId) {
  FolderState* folder = FindFolder(folderId);
  if (folder == nullptr) {
    return 0;
  }
  const std::vector<FileEntry> fresh = ListMessageFiles(*folder, MaildirSubdir::kNew);
  const std::vector<FileEntry> read = ListMessageFiles(*folder, MaildirSubdir::kCur);
  std::unordered_set<std::string_view> uniques;
  for (const std::vector<FileEntry>* files : {&fresh, &read}) {
    for (const FileEntry& file : *files) {
      uniques.insert(MaildirUniquePart(file.name));
    }
  }
  return uniques.size();
}

bool MaildirStore::Follow(int32_t folderId, int32_t messageId) {
  const Message* message = FindMessage(folderId, messageId);
  if (message == nullptr) {
    return false;
  }
  const std::string seenAs = message->fileName;
  const MaildirSubdir seenIn = message->subdir;
  if (refresh_) {
    refresh_();
    message = FindMessage(folderId, messageId);
    if (message == nullptr) {
      return false;
    }
    if (message->fileName != seenAs || message->subdir != seenIn) {
      return true;
    }
  }
  Scan(folderId);  // finds a file a reader renamed; forgets a file that is gone
  return FindMessage(folderId, messageId) != nullptr;
}

std::optional<std::string> MaildirStore::Locate(int32_t folderId, int32_t messageId) {
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    const FolderState* folder = KnownState(folderId);
    const Message* message = FindMessage(folderId, messageId);
    if (folder == nullptr || message == nullptr) {
      return std::nullopt;
    }
    std::string path = PathOf(*folder, *message);
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0) {
      if (S_ISREG(info.st_mode)) {
        return path;
      }
      if (!S_ISLNK(info.st_mode) && message->subdir == MaildirSubdir::kNew) {
        NotMail(path, DescribeFileType(info.st_mode));
      }
      Forget(messageId);
      return std::nullopt;
    }
    if ((errno != ENOENT && errno != ENOTDIR) || !Follow(folderId, messageId)) {
      return std::nullopt;
    }
  }
  return std::nullopt;
}

std::optional<std::filesystem::path> MaildirStore::MessagePath(int32_t folderId,
                                                               int32_t messageId) {
  std::optional<std::string> path = Locate(folderId, messageId);
  if (!path) {
    return std::nullopt;
  }
  return std::filesystem::path(std::move(*path));
}

bool MaildirStore::HasMessage(int32_t folderId, int32_t messageId) {
  return Locate(folderId, messageId).has_value();
}

std::optional<UniqueFd> MaildirStore::OpenMessage(int32_t folderId, int32_t messageId) {
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    const FolderState* folder = KnownState(folderId);
    const Message* message = FindMessage(folderId, messageId);
    if (folder == nullptr || message == nullptr) {
      return std::nullopt;
    }
    const std::string path = PathOf(*folder, *message);
    MessageFile file = OpenMessageFile(path.c_str());
    switch (file.kind) {
      case MessageFileKind::kOpen:
        return std::move(file.fd);
      case MessageFileKind::kUnreadable:
        return UniqueFd();
      case MessageFileKind::kGone:
        if (!Follow(folderId, messageId)) {
          return std::nullopt;
        }
        continue;
      case MessageFileKind::kNotMail:
        if (message->subdir == MaildirSubdir::kNew) {
          NotMail(path, file.what);
        }
        Forget(messageId);
        return std::nullopt;
      case MessageFileKind::kSymlink:
        Forget(messageId);
        return std::nullopt;
      case MessageFileKind::kFailed:
        Notice("Could not read " + path + ": " + std::strerror(file.error) + "." +
               (Retry(messageId) ? " It is judged again when the mail client next starts." : ""));
        return std::nullopt;
    }
  }
  return std::nullopt;
}

bool MaildirStore::Retry(int32_t messageId) {
  Message& message = messages_.at(messageId);
  if (message.announcement != Announcement::kAnnounced &&
      message.announcement != Announcement::kWaiting) {
    return false;
  }
  message.announcement = Announcement::kAtNextActivation;
  retries_.push_back(messageId);
  return true;
}

int32_t MaildirStore::MoveMessage(int32_t sourceFolderId, int32_t destFolderId, int32_t messageId) {
  FolderState* source = KnownState(sourceFolderId);
  FolderState* dest = KnownState(destFolderId);
  if (sourceFolderId == destFolderId || source == nullptr || dest == nullptr) {
    return -1;
  }
  std::string reason = "it kept moving";
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    Message* message = FindMessage(sourceFolderId, messageId);
    if (message == nullptr) {
      return -1;
    }
    const MaildirSubdir subdir = message->subdir;
    const std::string moved = MovedMessageName(message->fileName);
    const std::string destDir = SubdirPath(*dest, subdir);
    const int error =
        RenameNoReplace(PathOf(*source, *message).c_str(), (destDir + '/' + moved).c_str());
    if (error == 0) {
      Forget(messageId);
      ownMoves_.insert(std::to_string(destFolderId) + '/' + moved);
      return Note(*dest, subdir, moved, Announcement::kNotNew);
    }
    if (error != ENOENT && error != ENOTDIR) {
      reason =
          error == EEXIST ? "a message file of that name is already there" : std::strerror(error);
      break;
    }
    if (!IsDirectory(destDir)) {
      // The destination went away (a user removed the spam folder): it is made again.
      if (!MakeOnDisk(dest->folder.dir, dest->folder.name)) {
        reason = "the folder cannot be made again (" + std::string(std::strerror(errno)) + ")";
        break;
      }
      Register(dest->folder.dir, dest->folder.name);  // watched again
    } else if (!Follow(sourceFolderId, messageId)) {
      return -1;  // the message is gone
    }
  }
  const Message* message = FindMessage(sourceFolderId, messageId);
  if (message == nullptr) {
    return -1;
  }
  Notice("Could not move " + message->fileName + " from " + source->folder.name + " to " +
         dest->folder.name + ": " + reason + ". It stays in " + source->folder.name + "." +
         (Retry(messageId) ? " It is judged again when the mail client next starts." : ""));
  return -1;
}

std::optional<int32_t> MaildirStore::NoteNewFile(int32_t folderId, std::string_view fileName) {
  FolderState* folder = KnownState(folderId);
  if (folder == nullptr || !IsMessageName(fileName)) {
    return std::nullopt;
  }
  return Note(*folder, MaildirSubdir::kNew, fileName, Announcement::kWaiting);
}

std::optional<int32_t> MaildirStore::NoteCurFile(int32_t folderId, std::string_view fileName) {
  FolderState* folder = KnownState(folderId);
  if (folder == nullptr || !folder->messageIds.contains(MaildirUniquePart(fileName))) {
    return std::nullopt;
  }
  const int32_t id = Note(*folder, MaildirSubdir::kCur, fileName, Announcement::kNotNew);
  if (messages_.at(id).announcement != Announcement::kWaiting) {
    return std::nullopt;
  }
  return id;
}

std::optional<int32_t> MaildirStore::NoteMovedIn(int32_t folderId, MaildirSubdir subdir,
                                                 std::string_view fileName) {
  FolderState* folder = KnownState(folderId);
  if (folder == nullptr || !IsMessageName(fileName)) {
    return std::nullopt;
  }
  const int32_t id = Note(*folder, subdir, fileName, Announcement::kNotNew);
  Message& message = messages_.at(id);
  if (message.announcement == Announcement::kWaiting) {
    message.announcement = Announcement::kNotNew;  // noted from its new/ before the move was seen
  }
  return id;
}

bool MaildirStore::TakeOwnMove(int32_t folderId, std::string_view fileName) {
  return ownMoves_.erase(std::to_string(folderId) + '/' + std::string(fileName)) > 0;
}

bool MaildirStore::KnowsFile(int32_t folderId, std::string_view fileName) {
  const FolderState* folder = KnownState(folderId);
  return folder != nullptr && folder->messageIds.contains(MaildirUniquePart(fileName));
}

bool MaildirStore::IsSpamFolder(int32_t folderId) const {
  const MaildirFolder* folder = KnownFolder(folderId);
  return folder != nullptr && folder->name == kSpamFolderName;
}

void MaildirStore::NoteDeparture(int32_t folderId, MaildirSubdir subdir,
                                 std::string_view fileName) {
  FolderState* folder = KnownState(folderId);
  if (folder == nullptr) {
    return;
  }
  if (!reportedNotMail_.empty()) {
    reportedNotMail_.erase(SubdirPath(*folder, subdir) + '/' + std::string(fileName));
  }
  const auto known = folder->messageIds.find(MaildirUniquePart(fileName));
  if (known == folder->messageIds.end()) {
    return;
  }
  Message& message = messages_.at(known->second);
  if (message.subdir == subdir && message.fileName == fileName && !message.departed) {
    message.departed = true;
    departed_.push_back(known->second);
  }
}

void MaildirStore::ForgetDeparted() {
  for (const int32_t id : departedBefore_) {
    const auto found = messages_.find(id);
    if (found != messages_.end() && found->second.departed) {
      Forget(id);
    }
  }
  departedBefore_ = std::move(departed_);
  departed_.clear();
}

std::vector<int32_t> MaildirStore::Unannounced(int32_t folderId) {
  FolderState* folder = FindFolder(folderId);
  if (folder == nullptr) {
    return {};
  }
  for (const FileEntry& file : ListMessageFiles(*folder, MaildirSubdir::kNew)) {
    Note(*folder, MaildirSubdir::kNew, file.name, Announcement::kWaiting);
  }
  std::vector<const Message*> waiting;
  for (const auto& [unique, id] : folder->messageIds) {
    const Message& message = messages_.at(id);
    if (message.announcement == Announcement::kWaiting) {
      waiting.push_back(&message);
    }
  }
  std::sort(waiting.begin(), waiting.end(),
            [](const Message* a, const Message* b) { return a->fileName < b->fileName; });
  std::vector<int32_t> ids;
  ids.reserve(waiting.size());
  for (const Message* message : waiting) {
    ids.push_back(folder->messageIds.at(MaildirUniquePart(message->fileName)));
  }
  return ids;
}

bool MaildirStore::Announce(int32_t messageId) {
  const auto found = messages_.find(messageId);
  if (found == messages_.end() || found->second.announcement != Announcement::kWaiting ||
      found->second.departed) {
    return false;
  }
  found->second.announcement = Announcement::kAnnounced;
  return true;
}

void MaildirStore::Activate() {
  for (const int32_t id : retries_) {
    const auto found = messages_.find(id);
    if (found != messages_.end() && found->second.announcement == Announcement::kAtNextActivation) {
      found->second.announcement = Announcement::kWaiting;
    }
  }
  retries_.clear();
}

}  // namespace tervane
