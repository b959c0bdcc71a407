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

bool IsPublishableAddress(std::string_view address) {
  if (address.empty() || address.size() > kMaxAddressBytes || address.front() == '#')
    return false;
  if (address.front() == ' ' || address.back() == ' ')
    return false;
  const bool hasControl = std::any_of(address.begin(), address.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
  });
  return !hasControl && IsValidEmail(address);
}

std::string FormatAddressList(std::vector<std::string> addresses) {
  std::sort(addresses.begin(), addresses.end());
  addresses.erase(std::unique(addresses.begin(), addresses.end()), addresses.end());
  size_t size = 0;
  for (const std::string& address : addresses)
    size += address.size() + 1;
  std::string text;
  text.reserve(size);
  for (const std::string& address : addresses) {
    text += address;
    text += '\n';
  }
  return text;
}

std::optional<std::vector<std::string>> ParseAddressListText(std::string_view text,
                                                             size_t* badLine) {
  std::vector<std::string> addresses;
  size_t line = 0;
  std::string_view previous;
  while (!text.empty()) {
    ++line;
    const size_t end = text.find('\n');
    const std::string_view address = text.substr(0, end);
    const bool inOrder = addresses.empty() || previous < address;
    if (end == std::string_view::npos || !inOrder || !IsPublishableAddress(address) ||
        LowerCaseAddress(address) != address) {
      if (badLine != nullptr)
        *badLine = line;
      return std::nullopt;
    }
    addresses.emplace_back(address);
    previous = address;
    text.remove_prefix(end + 1);
  }
  return addresses;
}

}  // namespace tervane
