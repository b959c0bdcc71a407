#include "maildir/maildir_names.h"

#include <algorithm>

namespace tervane {

std::string_view MaildirUniquePart(std::string_view fileName) {
  return fileName.substr(0, fileName.find(':'));
}

std::string MovedMessageName(std::string_view fileName) {
  const std::string_view unique = MaildirUniquePart(fileName);
  std::string moved;
  moved.reserve(fileName.size());
  size_t at = 0;
  while (at < unique.size()) {
    size_t next = unique.find(',', at + 1);
    if (next == std::string_view::npos) {
      next = unique.size();
    }
    const std::string_view field = unique.substr(at, next - at);
    const std::string_view digits = field.substr(std::min<size_t>(field.size(), 3));
    const bool uid =
        at > 0 && field.starts_with(",U=") && !digits.empty() &&
        std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!uid) {
      moved += field;
    }
    at = next;
  }
  moved += fileName.substr(unique.size());
  return moved;
}

}  // namespace tervane
