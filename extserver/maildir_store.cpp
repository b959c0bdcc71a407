#include "extserver/maildir_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>

#include "extserver/maildir_delivery.h"
#include "extserver/unique_fd.h"
#include "mailclient/extension_interface.h"

namespace tervane {
namespace {

constexpr std::string_view kInboxName = "Inbox";
constexpr std::string_view kSentNames[] = {"Sent", "Sent Items", "Sent Messages"};
constexpr const char* kSubdirs[] = {"cur", "new", "tmp"};

bool IsDirectory(const std::filesystem::path& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool Exists(const std::filesystem::path& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

// mkdir that accepts an existing folder.
bool MakeDirectory(const std::filesystem::path& path) {
  return ::mkdir(path.c_str(), 0700) == 0 || (errno == EEXIST && IsDirectory(path));
}

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

struct DirectoryEntry {
  std::string name;
  unsigned char type;  // as readdir gives it; DT_UNKNOWN on some file systems
};

// The entries of dir but "." and "..".
std::vector<DirectoryEntry> ReadDirectory(const std::filesystem::path& dir) {
  std::vector<DirectoryEntry> entries;
  std::unique_ptr<DIR, DirCloser> stream(::opendir(dir.c_str()));
  while (stream) {
    const dirent* entry = ::readdir(stream.get());
    if (entry == nullptr) {
      break;
    }
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") {
      entries.push_back(DirectoryEntry{std::string(name), entry->d_type});
    }
  }
  return entries;
}

// The names in dir that a Maildir reader counts: no dot files, no folders.
std::vector<std::string> ListFiles(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (DirectoryEntry& entry : ReadDirectory(dir)) {
    if (entry.name[0] != '.' && entry.type != DT_DIR) {
      names.push_back(std::move(entry.name));
    }
  }
  return names;
}

// rename(2) that never replaces an existing destination. Returns 0 or an errno value.
int RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to) {
#ifdef SYS_renameat2
  constexpr unsigned kNoReplace = 1;  // RENAME_NOREPLACE
  if (::syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), kNoReplace) == 0) {
    return 0;
  }
  if (errno != ENOSYS && errno != EINVAL) {
    return errno;
  }
#endif
  // The file system cannot refuse to replace: check first, accepting the small race.
  if (Exists(to)) {
    return EEXIST;
  }
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

}  // namespace

std::string_view MaildirUniquePart(std::string_view fileName) {
  return fileName.substr(0, fileName.find(':'));
}

bool IsMaildirFolder(const std::filesystem::path& dir) {
  return std::all_of(std::begin(kSubdirs), std::end(kSubdirs),
                     [&dir](const char* sub) { return IsDirectory(dir / sub); });
}

MaildirStore::MaildirStore(std::filesystem::path root) : root_(std::move(root)) {
  std::error_code error;
  std::filesystem::create_directories(root_, error);
  for (const char* sub : kSubdirs) {
    if (!MakeDirectory(root_ / sub)) {
      throw ExtensionError("cannot make the Maildir " + root_.string() + ": " +
                           std::strerror(errno));
    }
  }
  inboxId_ = Register(root_, std::string(kInboxName)).id;
}

void MaildirStore::SetFolderMetHandler(std::function<void(const MaildirFolder&)> handler) {
  folderMet_ = std::move(handler);
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

MaildirStore::FolderState* MaildirStore::FindFolder(int32_t folderId) {
  const auto found = folders_.find(folderId);
  if (found == folders_.end() || !IsDirectory(found->second.folder.dir)) {
    return nullptr;
  }
  return &found->second;
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

int32_t MaildirStore::CreateFolder(std::string_view name) {
  if (name.empty() || name.front() == '.' || name.find('/') != std::string_view::npos ||
      name.find('\0') != std::string_view::npos) {
    return -1;
  }
  const std::filesystem::path dir = MaildirFolderPath(root_, name);
  if (!IsMaildirFolder(dir)) {
    if (!MakeDirectory(dir)) {
      return -1;
    }
    for (const char* sub : kSubdirs) {
      if (!MakeDirectory(dir / sub)) {
        return -1;
      }
    }
    const std::filesystem::path marker = dir / "maildirfolder";
    const UniqueFd fd(::open(marker.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    if (!fd.valid()) {
      return -1;
    }
  }
  return Register(dir, std::string(name)).id;
}

int32_t MaildirStore::Note(FolderState& folder, const std::string& subdir,
                           const std::string& fileName) {
  const std::string unique(MaildirUniquePart(fileName));
  const auto [known, added] = folder.messageIds.try_emplace(unique, lastMessageId_ + 1);
  if (added) {
    ++lastMessageId_;
    messages_.emplace(known->second, Message{folder.folder.id, unique, subdir, fileName});
  } else {
    Message& message = messages_.at(known->second);
    message.subdir = subdir;
    message.fileName = fileName;
  }
  return known->second;
}

void MaildirStore::Forget(FolderState& folder, int32_t messageId) {
  const auto found = messages_.find(messageId);
  folder.messageIds.erase(found->second.unique);
  messages_.erase(found);
}

std::filesystem::path MaildirStore::PathOf(const FolderState& folder,
                                           const Message& message) const {
  return folder.folder.dir / message.subdir / message.fileName;
}

std::vector<int32_t> MaildirStore::Scan(int32_t folderId) {
  FolderState* folder = FindFolder(folderId);
  if (folder == nullptr) {
    return {};
  }
  std::vector<std::pair<std::string, std::string>> files;  // (file name, subdir)
  for (const char* sub : {"new", "cur"}) {
    for (std::string& name : ListFiles(folder->folder.dir / sub)) {
      files.emplace_back(std::move(name), sub);
    }
  }
  std::sort(files.begin(), files.end());

  std::unordered_map<std::string, int32_t> before;
  before.swap(folder->messageIds);
  std::vector<int32_t> ids;
  ids.reserve(files.size());
  for (const auto& [name, sub] : files) {
    const std::string unique(MaildirUniquePart(name));
    if (folder->messageIds.contains(unique)) {
      continue;  // the same message in new/ and cur/ at once: a reader's rename in flight
    }
    const auto old = before.find(unique);
    if (old != before.end()) {
      folder->messageIds.insert(before.extract(old));
    }
    ids.push_back(Note(*folder, sub, name));
  }
  for (const auto& [unique, id] : before) {
    messages_.erase(id);
  }
  return ids;
}

std::optional<std::filesystem::path> MaildirStore::MessagePath(int32_t folderId,
                                                               int32_t messageId) {
  FolderState* folder = FindFolder(folderId);
  if (folder == nullptr) {
    return std::nullopt;
  }
  for (int attempt = 0; attempt < 2; ++attempt) {
    const auto found = messages_.find(messageId);
    if (found == messages_.end() || found->second.folderId != folderId) {
      return std::nullopt;
    }
    std::filesystem::path path = PathOf(*folder, found->second);
    if (Exists(path)) {
      return path;
    }
    Scan(folderId);  // follows a file a reader renamed; forgets a file that is gone
  }
  return std::nullopt;
}

int32_t MaildirStore::MoveMessage(int32_t sourceFolderId, int32_t destFolderId, int32_t messageId) {
  const std::optional<std::filesystem::path> from = MessagePath(sourceFolderId, messageId);
  FolderState* dest = FindFolder(destFolderId);
  if (!from || dest == nullptr) {
    return -1;
  }
  FolderState& source = folders_.at(sourceFolderId);
  const Message& message = messages_.at(messageId);
  const std::string subdir = message.subdir;
  const std::string fileName = message.fileName;
  if (RenameNoReplace(*from, dest->folder.dir / subdir / fileName) != 0) {
    return -1;
  }
  Forget(source, messageId);
  const int32_t movedId = Note(*dest, subdir, fileName);
  messages_.at(movedId).announced = true;
  return movedId;
}

std::optional<int32_t> MaildirStore::NoteNewFile(int32_t folderId, const std::string& fileName) {
  FolderState* folder = FindFolder(folderId);
  if (folder == nullptr || fileName.empty() || fileName[0] == '.' ||
      !Exists(folder->folder.dir / "new" / fileName)) {
    return std::nullopt;
  }
  return Note(*folder, "new", fileName);
}

std::vector<int32_t> MaildirStore::Unannounced(int32_t folderId) {
  std::vector<int32_t> waiting;
  for (const int32_t id : Scan(folderId)) {
    const Message& message = messages_.at(id);
    if (!message.announced && message.subdir == "new") {
      waiting.push_back(id);
    }
  }
  return waiting;
}

bool MaildirStore::Announce(int32_t messageId) {
  const auto found = messages_.find(messageId);
  if (found == messages_.end() || found->second.announced) {
    return false;
  }
  found->second.announced = true;
  return true;
}

}  // namespace tervane
