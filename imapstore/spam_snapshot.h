#ifndef TERVANE_IMAPSTORE_SPAM_SNAPSHOT_H_
#define TERVANE_IMAPSTORE_SPAM_SNAPSHOT_H_

#include <cstdint>
#include <map>
#include <optional>
#include <unordered_map>
#include <vector>

#include "imapstore/message_key.h"

namespace tervane::imap {

// The messages of the spam mailbox as the store last saw them, by UID, with their keys: what
// leaves it without the store moving it was moved out by the user.
class SpamSnapshot {
 public:
  void Clear();
  void Add(uint32_t uid, MessageKey key);
  // The store moved the message out itself.
  void Remove(uint32_t uid);
  // The keys of the messages not among uids (ascending), which leave the snapshot.
  std::vector<MessageKey> TakeDeparted(const std::vector<uint32_t>& uids);
  // True iff a message with key is in the snapshot.
  bool Holds(MessageKey key) const { return keys_.contains(key); }
  size_t size() const { return uids_.size(); }

 private:
  std::map<uint32_t, MessageKey> uids_;
  std::unordered_map<MessageKey, int> keys_;  // how many messages have the key
};

}  // namespace tervane::imap

#endif  // TERVANE_IMAPSTORE_SPAM_SNAPSHOT_H_
