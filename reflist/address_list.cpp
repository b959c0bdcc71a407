#include "reflist/address_list.h"

#include <algorithm>

#include "engine/address_rules.h"

namespace tervane {

std::string LowerCaseAddress(std::string_view address) {
  std::string lower(address);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

namespace {

bool HasControl(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
  });
}

}  // namespace

bool IsPublishableAddress(std::string_view address) {
  if (address.empty() || address.size() > kMaxAddressBytes || address.front() == '#')
    return false;
  if (address.front() == ' ' || address.back() == ' ')
    return false;
  return !HasControl(address) && IsValidEmail(address);
}

bool IsPublishableDomainEntry(std::string_view entry) {
  return entry.size() <= kMaxAddressBytes && IsDomainEntry(entry) &&
         entry.find(' ') == std::string_view::npos && !HasControl(entry);
}

bool IsPublishableEntry(std::string_view entry) {
  return IsPublishableAddress(entry) || IsPublishableDomainEntry(entry);
}

std::string FormatAddressList(std::vector<std::string> entries) {
  std::sort(entries.begin(), entries.end());
  entries.erase(std::unique(entries.begin(), entries.end()), entries.end());
  size_t size = 0;
  for (const std::string& entry : entries)
    size += entry.size() + 1;
  std::string text;
  text.reserve(size);
  for (const std::string& entry : entries) {
    text += entry;
    text += '\n';
  }
  return text;
}

std::optional<std::vector<std::string>> ParseAddressListText(std::string_view text,
                                                             size_t* badLine) {
  std::vector<std::string> entries;
  size_t line = 0;
  std::string_view previous;
  while (!text.empty()) {
    ++line;
    const size_t end = text.find('\n');
    const std::string_view entry = text.substr(0, end);
    const bool inOrder = entries.empty() || previous < entry;
    if (end == std::string_view::npos || !inOrder || !IsPublishableEntry(entry) ||
        LowerCaseAddress(entry) != entry) {
      if (badLine != nullptr)
        *badLine = line;
      return std::nullopt;
    }
    entries.emplace_back(entry);
    previous = entry;
    text.remove_prefix(end + 1);
  }
  return entries;
}

}  // namespace tervane
