#ifndef TERVANE_IMAPSTORE_RECENT_KEYS_H_
#define TERVANE_IMAPSTORE_RECENT_KEYS_H_

#include <cstddef>
#include <deque>
#include <optional>
#include <unordered_map>

#include "imapstore/message_key.h"

namespace tervane::imap {

// The last messages of some kind (judged, gone from spam) with a value each, by key: at most
// capacity of them, the oldest leaving first, so memory stays bounded however long the store
// runs.
template <typename Value>
class RecentKeys {
 public:
  explicit RecentKeys(size_t capacity) : capacity_(capacity) {}

  // Adds key with value, replacing an earlier value of key.
  void Put(MessageKey key, Value value) {
    if (values_.insert_or_assign(key, value).second)
      order_.push_back(key);
    while (values_.size() > capacity_) {
      values_.erase(order_.front());
      order_.pop_front();
    }
  }
  const Value* Find(MessageKey key) const {
    const auto it = values_.find(key);
    return it == values_.end() ? nullptr : &it->second;
  }
  // The value of key, which leaves; nothing when key is not there.
  std::optional<Value> Take(MessageKey key) {
    const auto it = values_.find(key);
    if (it == values_.end())
      return std::nullopt;
    Value value = it->second;
    values_.erase(it);
    std::erase(order_, key);
    return value;
  }

 private:
  size_t capacity_;
  std::unordered_map<MessageKey, Value> values_;
  std::deque<MessageKey> order_;  // oldest first
};

}  // namespace tervane::imap

#endif  // TERVANE_IMAPSTORE_RECENT_KEYS_H_
