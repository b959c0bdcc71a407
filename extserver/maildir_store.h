#ifndef TERVANE_EXTSERVER_MAILDIR_STORE_H_
#define TERVANE_EXTSERVER_MAILDIR_STORE_H_

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tervane {

// One folder of the store: the root is the inbox "Inbox", every subfolder ".Name" is "Name".
struct MaildirFolder {
  int32_t id;
  std::string name;
  std::filesystem::path dir;
};

// A Maildir++ tree and the ids the server hands out for it. Folder ids are keyed by the folder's
// path and message ids by the message file's unique part (the name before ":2,"), so a mail
// reader moving new/x to cur/x:2,S keeps the id. Ids are positive and live as long as the
// store; lookups by id are hash lookups plus one stat, never a directory scan, except when a
// message file is found gone (then its folder is scanned once to follow a renamed file).
// Not thread-safe: used on the main thread only.
class MaildirStore {
 public:
  // Opens the tree at root, making root/{cur,new,tmp} when missing. Throws ExtensionError.
  explicit MaildirStore(std::filesystem::path root);
  MaildirStore(const MaildirStore&) = delete;
  MaildirStore& operator=(const MaildirStore&) = delete;

  // Called for each folder but the inbox whenever a walk, SentFolder or CreateFolder meets it.
  void SetFolderMetHandler(std::function<void(const MaildirFolder&)> handler);

  // Every folder now on disk: the inbox first, then the others in name order.
  std::vector<MaildirFolder> Walk();
  const MaildirFolder& Inbox() const;
  // The folder with that id, or nothing when the id is unknown or its folder is gone.
  std::optional<MaildirFolder> Folder(int32_t folderId);
  // The first existing of "Sent", "Sent Items", "Sent Messages", or nothing.
  std::optional<MaildirFolder> SentFolder();
  // Makes the top-level folder name (with the maildirfolder marker) unless it exists; returns
  // its id, or -1 for an unusable name or a failure.
  int32_t CreateFolder(std::string_view name);

  // The ids of the folder's messages (files in new/ and cur/), in file-name order; empty for an
  // unknown folder. Messages whose files went away lose their ids.
  std::vector<int32_t> Scan(int32_t folderId);
  // The current file of a message of that folder, or nothing when either is unknown or the
  // file is gone.
  std::optional<std::filesystem::path> MessagePath(int32_t folderId, int32_t messageId);
  // Moves a message with one rename into the destination's same subfolder, keeping its file
  // name. Returns its new id, or -1 when nothing was moved (unknown folder or message, missing
  // file, a file of that name already in the destination). A moved message counts as announced.
  int32_t MoveMessage(int32_t sourceFolderId, int32_t destFolderId, int32_t messageId);

  // Notes the file fileName that appeared in the folder's new/; returns its id, or nothing when
  // the folder is unknown or the file is no longer there.
  std::optional<int32_t> NoteNewFile(int32_t folderId, const std::string& fileName);
  // The ids of the files in the folder's new/ that have not been announced yet.
  std::vector<int32_t> Unannounced(int32_t folderId);
  // Marks a message as announced; true iff it is known and was not announced before.
  bool Announce(int32_t messageId);

 private:
  struct Message {
    int32_t folderId;
    std::string unique;
    std::string subdir;  // "new" or "cur"
    std::string fileName;
    bool announced = false;
  };
  struct FolderState {
    MaildirFolder folder;
    std::unordered_map<std::string, int32_t> messageIds;  // by unique part
  };

  FolderState* FindFolder(int32_t folderId);
  const MaildirFolder& Register(const std::filesystem::path& dir, std::string name);
  int32_t Note(FolderState& folder, const std::string& subdir, const std::string& fileName);
  void Forget(FolderState& folder, int32_t messageId);
  std::filesystem::path PathOf(const FolderState& folder, const Message& message) const;

  std::filesystem::path root_;
  std::function<void(const MaildirFolder&)> folderMet_;
  std::unordered_map<std::string, int32_t> folderIds_;  // by folder path
  std::unordered_map<int32_t, FolderState> folders_;
  std::unordered_map<int32_t, Message> messages_;
  int32_t inboxId_ = 0;
  int32_t lastFolderId_ = 0;
  int32_t lastMessageId_ = 0;
};

// The unique part of a Maildir file name: everything before ":2,".
std::string_view MaildirUniquePart(std::string_view fileName);

// True iff dir holds the cur, new and tmp folders of a Maildir.
bool IsMaildirFolder(const std::filesystem::path& dir);

}  // namespace tervane

#endif  // TERVANE_EXTSERVER_MAILDIR_STORE_H_
