#include "imapstore/message_key.h"

#include <functional>
#include <string>

#include "message/header_fields.h"

namespace tervane::imap {

MessageKey KeyOfHeader(std::string_view header) {
  const std::string id = MessageIdField(header);
  if (id.empty())
    return std::hash<std::string_view>()(header) | 1;  // apart from any Message-ID's key
  return std::hash<std::string>()(id) & ~1ull;
}

}  // namespace tervane::imap
