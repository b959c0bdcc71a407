#include "imapstore/spam_snapshot.h"

#include <algorithm>

namespace tervane::imap {

void SpamSnapshot::Clear() {
  uids_.clear();
  keys_.clear();
}

void SpamSnapshot::Add(uint32_t uid, MessageKey key) {
  if (uids_.emplace(uid, key).second)
    ++keys_[key];
}

void SpamSnapshot::Remove(uint32_t uid) {
  const auto it = uids_.find(uid);
  if (it == uids_.end())
    return;
  if (--keys_[it->second] == 0)
    keys_.erase(it->second);
  uids_.erase(it);
}

std::vector<MessageKey> SpamSnapshot::TakeDeparted(const std::vector<uint32_t>& uids) {
  std::vector<uint32_t> gone;
  for (const auto& [uid, key] : uids_) {
    if (!std::binary_search(uids.begin(), uids.end(), uid))
      gone.push_back(uid);
  }
  std::vector<MessageKey> keys;
  for (const uint32_t uid : gone) {
    keys.push_back(uids_.at(uid));
    Remove(uid);
  }
  return keys;
}

}  // namespace tervane::imap
