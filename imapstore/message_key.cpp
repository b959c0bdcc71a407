#include "imapstore/message_key.h"

#include <functional>
#include <string>

#include "message/header_fields.h"

namespace tervane::imap {

MessageKey KeyOfHeader(std::string_view header) {
  const std::string id = HeaderFieldValue(header, "Message-ID");
  const size_t first = id.find_first_not_of(" \t");
  if (first == std::string::npos)
    return std::hash<std::string_view>()(header) ^ 1;  // apart from any Message-ID's key
  const size_t last = id.find_last_not_of(" \t");
  return std::hash<std::string_view>()(std::string_view(id).substr(first, last - first + 1)) &
         ~1ull;
}

}  // namespace tervane::imap
