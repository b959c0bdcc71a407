#ifndef TERVANE_IMAPSTORE_IMAP_IDS_H_
#define TERVANE_IMAPSTORE_IMAP_IDS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace tervane::imap {

// Where a message lives on the server: a UID means one message only under its mailbox's
// UIDVALIDITY.
struct MessageLocation {
  int32_t folderId = 0;
  uint32_t uidValidity = 0;
  uint32_t uid = 0;  // 0: not known yet (a move whose new UID the server did not tell)
};

// The program's own 32-bit ids for an account's mailboxes and messages. A mailbox keeps its id
// by name for as long as the store lives; a message id names one (mailbox, UIDVALIDITY, UID), is
// positive, and is never handed out twice. Ids of messages that are gone are forgotten when the
// store learns of it (Forget, KeepOnly), so the table grows with the mail in sight, not with the
// mail seen.
class ImapIds {
 public:
  // The id of mailbox name, made when it is new.
  int32_t FolderId(const std::string& name);
  // The mailbox of folderId, or null.
  const std::string* FolderName(int32_t folderId) const;

  // The id of that message, made when it is new.
  int32_t MessageId(int32_t folderId, uint32_t uidValidity, uint32_t uid);
  // A new id for a message whose UID is not known yet; Bind gives it one.
  int32_t PlaceholderId(int32_t folderId, uint32_t uidValidity);
  void Bind(int32_t messageId, uint32_t uid);
  // Where message id lives, or nothing for an id never handed out or forgotten.
  std::optional<MessageLocation> Find(int32_t messageId) const;

  void Forget(int32_t messageId);
  // Forgets the messages of folderId other than those with these UIDs under uidValidity.
  // REQUIRES: uids ascending.
  void KeepOnly(int32_t folderId, uint32_t uidValidity, const std::vector<uint32_t>& uids);
  size_t MessageCount() const { return messages_.size(); }

 private:
  static uint64_t Key(int32_t folderId, uint32_t uid) {
    return (static_cast<uint64_t>(static_cast<uint32_t>(folderId)) << 32) | uid;
  }

  std::unordered_map<std::string, int32_t> folderIds_;
  std::unordered_map<int32_t, std::string> folderNames_;
  std::unordered_map<int32_t, MessageLocation> messages_;
  std::unordered_map<uint64_t, int32_t> messageIds_;  // by Key(folder, UID)
  int32_t lastFolderId_ = 0;
  int32_t lastMessageId_ = 0;
};

}  // namespace tervane::imap

#endif  // TERVANE_IMAPSTORE_IMAP_IDS_H_
