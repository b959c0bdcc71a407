#include "message/header_fields.h"

#include <gmime/gmime.h>

#include <algorithm>
#include <memory>
#include <mutex>

#include "base/c_owned.h"

namespace tervane {
namespace {

void InitGMime() {
  static std::once_flag once;
  std::call_once(once, [] { g_mime_init(); });
}

struct GObjectUnref {
  void operator()(void* object) const { g_object_unref(object); }
};

// GMime's text when it is valid UTF-8, else empty: names handed out are always UTF-8.
std::string Utf8OrEmpty(const char* text) {
  if (text == nullptr || !g_utf8_validate(text, -1, nullptr)) {
    return {};
  }
  return text;
}

bool IsBlankLine(std::string_view line) {
  return line == "\n" || line == "\r\n";
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && g_ascii_strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::string_view TrimSpace(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) {
    return {};
  }
  return text.substr(first, text.find_last_not_of(" \t") + 1 - first);
}

std::string_view StripLineBreak(std::string_view line) {
  if (!line.empty() && line.back() == '\n') {
    line.remove_suffix(1);
  }
  if (!line.empty() && line.back() == '\r') {
    line.remove_suffix(1);
  }
  return line;
}

// The first mailbox of an address field: a group's first member when the field starts with a
// group. Returns nullptr when there is none.
InternetAddressMailbox* FirstMailbox(InternetAddressList* list) {
  while (list != nullptr && internet_address_list_length(list) > 0) {
    InternetAddress* address = internet_address_list_get_address(list, 0);
    if (INTERNET_ADDRESS_IS_MAILBOX(address)) {
      return INTERNET_ADDRESS_MAILBOX(address);
    }
    list = internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address));
  }
  return nullptr;
}

// Applies read to the first mailbox of fieldValue; empty when there is none.
template <typename Read>
std::string WithFirstMailbox(std::string_view fieldValue, Read read) {
  InitGMime();
  const std::string value(fieldValue);
  const std::unique_ptr<InternetAddressList, GObjectUnref> list(
      internet_address_list_parse(nullptr, value.c_str()));
  InternetAddressMailbox* mailbox = FirstMailbox(list.get());
  return mailbox == nullptr ? std::string() : Utf8OrEmpty(read(mailbox));
}

}  // namespace

HeaderEnd FindHeaderEnd(std::string_view text, size_t from, size_t searchFrom) {
  size_t line = from;
  size_t search = std::max(from, searchFrom);
  while (true) {
    const size_t end = text.find('\n', search);
    if (end == std::string_view::npos) {
      return HeaderEnd{false, {}, line};
    }
    if (IsBlankLine(text.substr(line, end + 1 - line))) {
      return HeaderEnd{true, HeaderSplit{line, end + 1}, end + 1};
    }
    line = end + 1;
    search = line;
  }
}

HeaderSplit SplitMessage(std::string_view text) {
  const HeaderEnd end = FindHeaderEnd(text, 0);
  return end.found ? end.split : HeaderSplit{text.size(), text.size()};
}

bool IsMailingListMessage(std::string_view headers) {
  if (!HeaderFieldValue(headers, "List-Id").empty() ||
      !HeaderFieldValue(headers, "List-Post").empty())
    return true;
  std::string precedence = HeaderFieldValue(headers, "Precedence");
  for (char& c : precedence)
    c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return precedence.find("list") != std::string::npos ||
         precedence.find("bulk") != std::string::npos;
}

std::string MessageIdField(std::string_view headers) {
  const std::string value = HeaderFieldValue(headers, "Message-ID");
  const size_t first = value.find_first_not_of(" \t");
  const size_t last = value.find_last_not_of(" \t");
  return first == std::string::npos ? std::string() : value.substr(first, last - first + 1);
}

std::string HeaderFieldValue(std::string_view headers, std::string_view name) {
  std::string value;
  bool inField = false;
  size_t line = 0;
  while (line < headers.size()) {
    size_t end = headers.find('\n', line);
    end = end == std::string_view::npos ? headers.size() : end + 1;
    const std::string_view text = StripLineBreak(headers.substr(line, end - line));
    line = end;
    const bool continuation = !text.empty() && (text[0] == ' ' || text[0] == '\t');
    if (inField) {
      if (!continuation) {
        break;
      }
      value += text;
      continue;
    }
    const size_t colon = text.find(':');
    if (!continuation && colon != std::string_view::npos &&
        EqualsIgnoringCase(TrimSpace(text.substr(0, colon)), name)) {
      inField = true;
      value = text.substr(colon + 1);
    }
  }
  return std::string(TrimSpace(value));
}

std::string FirstMailboxName(std::string_view fieldValue) {
  return WithFirstMailbox(fieldValue, [](InternetAddressMailbox* mailbox) {
    return internet_address_get_name(INTERNET_ADDRESS(mailbox));
  });
}

std::string FirstMailboxAddress(std::string_view fieldValue) {
  return WithFirstMailbox(fieldValue, [](InternetAddressMailbox* mailbox) {
    return internet_address_mailbox_get_addr(mailbox);
  });
}

std::string DecodeHeaderText(std::string_view fieldValue) {
  InitGMime();
  const std::string value(fieldValue);
  const COwned<char, g_free> decoded(g_mime_utils_header_decode_text(nullptr, value.c_str()));
  return Utf8OrEmpty(decoded.get());
}

}  // namespace tervane
