#include "imapstore/imap_ids.h"

#include <algorithm>

namespace tervane::imap {

int32_t ImapIds::FolderId(const std::string& name) {
  const auto [it, added] = folderIds_.try_emplace(name, lastFolderId_ + 1);
  if (added)
    folderNames_[++lastFolderId_] = name;
  return it->second;
}

const std::string* ImapIds::FolderName(int32_t folderId) const {
  const auto it = folderNames_.find(folderId);
  return it == folderNames_.end() ? nullptr : &it->second;
}

int32_t ImapIds::MessageId(int32_t folderId, uint32_t uidValidity, uint32_t uid) {
  const auto known = messageIds_.find(Key(folderId, uid));
  if (known != messageIds_.end()) {
    if (messages_.at(known->second).uidValidity == uidValidity)
      return known->second;
    Forget(known->second);  // the UID of a mailbox that started afresh
  }
  const int32_t id = ++lastMessageId_;
  messages_[id] = {folderId, uidValidity, uid};
  messageIds_[Key(folderId, uid)] = id;
  return id;
}

int32_t ImapIds::PlaceholderId(int32_t folderId, uint32_t uidValidity) {
  const int32_t id = ++lastMessageId_;
  messages_[id] = {folderId, uidValidity, 0};
  return id;
}

void ImapIds::Bind(int32_t messageId, uint32_t uid) {
  const auto it = messages_.find(messageId);
  if (it == messages_.end() || it->second.uid != 0)
    return;
  const auto other = messageIds_.find(Key(it->second.folderId, uid));
  if (other != messageIds_.end())
    Forget(other->second);
  it->second.uid = uid;
  messageIds_[Key(it->second.folderId, uid)] = messageId;
}

std::optional<MessageLocation> ImapIds::Find(int32_t messageId) const {
  const auto it = messages_.find(messageId);
  if (it == messages_.end())
    return std::nullopt;
  return it->second;
}

void ImapIds::Forget(int32_t messageId) {
  const auto it = messages_.find(messageId);
  if (it == messages_.end())
    return;
  if (it->second.uid != 0)
    messageIds_.erase(Key(it->second.folderId, it->second.uid));
  messages_.erase(it);
}

void ImapIds::KeepOnly(int32_t folderId, uint32_t uidValidity, const std::vector<uint32_t>& uids) {
  std::vector<int32_t> gone;
  for (const auto& [id, location] : messages_) {
    if (location.folderId != folderId || location.uid == 0)
      continue;
    if (location.uidValidity != uidValidity ||
        !std::binary_search(uids.begin(), uids.end(), location.uid))
      gone.push_back(id);
  }
  for (const int32_t id : gone)
    Forget(id);
}

}  // namespace tervane::imap
