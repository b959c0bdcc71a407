#ifndef TERVANE_MAILDIR_MAILDIR_STORE_H_
#define TERVANE_MAILDIR_MAILDIR_STORE_H_

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/unique_fd.h"
#include "maildir/maildir_names.h"

namespace tervane {

// One folder of the store: the root is the inbox "Inbox", every subfolder ".Name" is "Name".
struct MaildirFolder {
  int32_t id;
  std::string name;
  std::filesystem::path dir;
};

// The two subfolders of a Maildir folder that hold messages.
enum class MaildirSubdir : uint8_t { kNew, kCur };

// A Maildir++ tree and the ids the server hands out for it. Folder ids are keyed by the folder's
// path and message ids by the message file's unique part (the name before ":2,"), so a mail
// reader moving new/x to cur/x:2,S keeps the id. Ids are positive and live as long as the
// store.
//
// The store remembers only messages it was told of (by Scan, or by the Note calls of a watcher)
// and forgets each when its file is found gone or reported gone, so it grows with the mail in
// the folders, never with the mail it has seen. Lookups by id are hash lookups; a message file
// is looked for where it was last seen, and only when it is not there is the watcher asked to
// apply what it has been told since (SetRefreshHandler), then the folder scanned. Only regular
// files are messages: a symbolic link is never followed, and other files in new/ (FIFOs,
// sockets, devices, folders) are left where they are and reported once each (SetNoticeHandler).
// Not thread-safe: used on the main thread only.
class MaildirStore {
 public:
  // Opens the tree at root, making root/{cur,new,tmp} when missing. Throws ExtensionError.
  explicit MaildirStore(std::filesystem::path root);
  MaildirStore(const MaildirStore&) = delete;
  MaildirStore& operator=(const MaildirStore&) = delete;

  // Called for each folder whenever a walk, SentFolder or CreateFolder meets it (the inbox only
  // when it is made again), and when a vanished folder is made again.
  void SetFolderMetHandler(std::function<void(const MaildirFolder&)> handler);
  // Called with a line for the user: a file in new/ that is not mail (once per file), a message
  // that could not be moved or read, and why.
  void SetNoticeHandler(std::function<void(const std::string&)> handler);
  // Called when a message file is not where the store last saw it, before the folder is
  // scanned: a watcher applies the Note calls it has pending. It must not call back into the
  // store other than through the Note calls.
  void SetRefreshHandler(std::function<void()> handler);

  // Every folder now on disk: the inbox first, then the others in name order.
  std::vector<MaildirFolder> Walk();
  const MaildirFolder& Inbox() const;
  // The folder with that id, or nothing when the id is unknown or its folder is gone.
  std::optional<MaildirFolder> Folder(int32_t folderId);
  // The folder with that id as the store knows it, without looking at the disk; null for an
  // unknown id. Valid while the store lives.
  const MaildirFolder* KnownFolder(int32_t folderId) const;
  // The first existing of "Sent", "Sent Items", "Sent Messages", or nothing.
  std::optional<MaildirFolder> SentFolder();
  // Makes the top-level folder name (with the maildirfolder marker, and listed in a Dovecot
  // subscriptions file when the Maildir has one) unless it exists; returns its id, or -1 for an
  // unusable name or a failure.
  int32_t CreateFolder(std::string_view name);

  // The ids of the folder's messages (regular files in new/ and cur/), in file-name order; empty
  // for an unknown folder. Messages whose files went away lose their ids.
  std::vector<int32_t> Scan(int32_t folderId);
  // How many messages the folder holds, as Scan would list them, without remembering them.
  size_t Count(int32_t folderId);
  // The current file of a message of that folder, following a reader's rename (one lstat when
  // it is where it was seen). Nothing when either is unknown, or the file is gone or is no
  // regular file (then the message is forgotten, and reported once when it lies in new/).
  std::optional<std::filesystem::path> MessagePath(int32_t folderId, int32_t messageId);
  // True iff MessagePath finds the message.
  bool HasMessage(int32_t folderId, int32_t messageId);
  // Opens the file of a message of that folder for reading, following a reader's rename (one
  // open when it is where it was seen). Nothing as for MessagePath, or when it cannot be opened
  // now (reported; new mail is judged again at the next Activate, see Unannounced). An invalid
  // descriptor for a regular file this process may not read: it reads as empty. Its type is not
  // checked again (see OpenMessageFile).
  std::optional<UniqueFd> OpenMessage(int32_t folderId, int32_t messageId);
  // Moves a message with one rename (never replacing a file) into the destination's same
  // subfolder, under its name without a ",U=" field. A destination folder that vanished is made
  // again first, under its id. Returns the message's new id, or -1 when nothing was moved:
  // unknown folder or message, the same folder, a missing file, or a failure (a file of that name
  // in the destination, an error); a failure is reported and the message is judged again at the
  // next Activate. A moved message counts as announced.
  int32_t MoveMessage(int32_t sourceFolderId, int32_t destFolderId, int32_t messageId);

  // What a watcher was told about the files of a folder. Nothing is read from the disk: a
  // file that is no longer there is found so when it is opened.
  // A file appeared in new/: returns its id (a new one unless the message is known), or nothing
  // for an unknown folder or a dot file. A new message waits to be announced.
  std::optional<int32_t> NoteNewFile(int32_t folderId, std::string_view fileName);
  // A file appeared in cur/: a known message moved there (a reader marked it); others are
  // messages that were read before and are not remembered. Returns the id of a message that
  // still waits to be announced.
  std::optional<int32_t> NoteCurFile(int32_t folderId, std::string_view fileName);
  // A file arrived in a folder as the user's move (a rename from another folder, or a message
  // that turned up in cur/ with nothing moved away): returns its id, a new one unless the message
  // is known. It is no new mail and is never announced.
  std::optional<int32_t> NoteMovedIn(int32_t folderId, MaildirSubdir subdir,
                                     std::string_view fileName);
  // True iff fileName arriving in the folder is the rename of one of the store's own moves, which
  // it then forgets: the program's own moves are never the user's.
  bool TakeOwnMove(int32_t folderId, std::string_view fileName);
  // Forgets the store's own moves whose arrival was not seen (the kernel dropped events).
  void ForgetOwnMoves() { ownMoves_.clear(); }
  // True iff the store knows a message of the folder by the unique part of fileName.
  bool KnowsFile(int32_t folderId, std::string_view fileName);
  // True iff the folder is the spam folder (named kSpamFolderName).
  bool IsSpamFolder(int32_t folderId) const;
  // A file left new/ or cur/. The message is forgotten at the second ForgetDeparted from now
  // unless it turns up again in new/ or cur/ meanwhile (a rename reports the leaving first).
  void NoteDeparture(int32_t folderId, MaildirSubdir subdir, std::string_view fileName);
  void ForgetDeparted();

  // The ids of the folder's messages that wait to be announced, in file-name order: those noted
  // in new/ and not announced yet, wherever they are now (a reader may have moved them on to
  // cur/), after new/ is read for files not noted yet. Messages whose move failed wait again
  // from the next Activate on.
  std::vector<int32_t> Unannounced(int32_t folderId);
  // Marks a message as announced; true iff it is known, was waiting and has not left its
  // folder's new/ and cur/ (an event that comes after the file went is no message).
  bool Announce(int32_t messageId);
  // The messages whose move failed wait to be announced again.
  void Activate();

  // How many messages the store remembers now.
  size_t RememberedMessages() const { return messages_.size(); }

 private:
  enum class Announcement : uint8_t {
    kWaiting,           // new mail, to be announced
    kAnnounced,         // new mail, announced
    kNotNew,            // found in cur/ or moved in by the store: never announced
    kAtNextActivation,  // announced, but its move failed: announced again at the next Activate
  };
  struct Message {
    int32_t folderId;
    MaildirSubdir subdir;
    Announcement announcement;
    bool departed = false;
    std::string fileName;  // the unique part is its beginning
  };
  struct FolderState {
    MaildirFolder folder;
    // Keyed by the unique part of the message's file name, a view into its Message.
    std::unordered_map<std::string_view, int32_t> messageIds;
  };
  struct FileEntry;

  FolderState* KnownState(int32_t folderId);
  FolderState* FindFolder(int32_t folderId);  // known and on disk
  Message* FindMessage(int32_t folderId, int32_t messageId);
  const MaildirFolder& Register(const std::filesystem::path& dir, std::string name);
  // Makes the folders of dir that are missing and lists it in the subscriptions file.
  bool MakeOnDisk(const std::filesystem::path& dir, const std::string& name);
  int32_t Note(FolderState& folder, MaildirSubdir subdir, std::string_view fileName,
               Announcement announcement);
  void Forget(int32_t messageId);
  void ForgetAll(FolderState& folder);
  std::string SubdirPath(const FolderState& folder, MaildirSubdir subdir) const;
  std::string PathOf(const FolderState& folder, const Message& message) const;
  // The file of a message, checked with one lstat: see MessagePath.
  std::optional<std::string> Locate(int32_t folderId, int32_t messageId);
  // Where a message went that is not where it was seen: nothing when it is gone (forgotten).
  bool Follow(int32_t folderId, int32_t messageId);
  // The regular files in the folder's subdir; what is no mail is reported (in new/) and
  // forgotten.
  std::vector<FileEntry> ListMessageFiles(FolderState& folder, MaildirSubdir subdir);
  void NotMail(const std::string& file, const std::string& what);
  void Notice(const std::string& text) const;
  // Marks new mail whose move or reading failed to be announced again; false for other mail.
  bool Retry(int32_t messageId);

  std::filesystem::path root_;
  std::function<void(const MaildirFolder&)> folderMet_;
  std::function<void(const std::string&)> notice_;
  std::function<void()> refresh_;
  std::unordered_map<std::string, int32_t> folderIds_;  // by folder path
  std::unordered_map<int32_t, FolderState> folders_;
  std::unordered_map<int32_t, Message> messages_;
  std::vector<int32_t> departed_;        // left since the last ForgetDeparted
  std::vector<int32_t> departedBefore_;  // left before it
  std::vector<int32_t> retries_;         // moves that failed: announced again at Activate
  std::unordered_set<std::string> reportedNotMail_;  // paths of files in new/ reported
  std::unordered_set<std::string> ownMoves_;  // "<folder id>/<file name>" renamed in, not seen yet
  int32_t inboxId_ = 0;
  int32_t lastFolderId_ = 0;
  int32_t lastMessageId_ = 0;
};

// True iff dir holds the cur, new and tmp folders of a Maildir.
bool IsMaildirFolder(const std::filesystem::path& dir);

}  // namespace tervane

#endif  // TERVANE_MAILDIR_MAILDIR_STORE_H_
