#include "server/report_request.h"

#include <QByteArray>

#include "reflist/address_list.h"

namespace tervane {
namespace {

constexpr size_t kDigestHexDigits = 32;

std::string PercentDecoded(std::string_view value) {
  return QByteArray::fromPercentEncoding(
             QByteArray(value.data(), static_cast<qsizetype>(value.size())))
      .toStdString();
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// True iff some '%' in text is not followed by two hex digits.
bool HasBadEscape(std::string_view text) {
  for (size_t at = text.find('%'); at != std::string_view::npos; at = text.find('%', at + 1)) {
    if (at + 2 >= text.size() || !IsHexDigit(text[at + 1]) || !IsHexDigit(text[at + 2]))
      return true;
  }
  return false;
}

std::optional<std::string> UpperCaseDigest(std::string_view digest) {
  if (digest.size() != kDigestHexDigits)
    return std::nullopt;
  std::string upper(digest);
  for (char& c : upper) {
    if (!IsHexDigit(c))
      return std::nullopt;
    if (c >= 'a' && c <= 'f')
      c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

}  // namespace

std::optional<ReportRequest> ParseReportQuery(std::string_view encodedQuery) {
  std::optional<std::string> address;
  std::optional<std::string> content;
  while (!encodedQuery.empty()) {
    const size_t end = encodedQuery.find('&');
    const std::string_view pair = encodedQuery.substr(0, end);
    encodedQuery.remove_prefix(end == std::string_view::npos ? encodedQuery.size() : end + 1);
    const size_t equals = pair.find('=');
    const std::string_view key = pair.substr(0, equals);
    const std::string_view value =
        equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1);
    std::optional<std::string>* slot = key == "spam"      ? &address
                                       : key == "content" ? &content
                                                          : nullptr;
    if (slot == nullptr)
      continue;  // a key of no meaning here is ignored
    if (slot->has_value() || HasBadEscape(value))
      return std::nullopt;
    *slot = PercentDecoded(value);
  }
  if (!address || !content)
    return std::nullopt;
  const std::optional<std::string> digest = UpperCaseDigest(*content);
  if (!digest || address->empty() || address->size() > kMaxAddressBytes ||
      address->find('\0') != std::string::npos || HasBadEscape(*address))
    return std::nullopt;
  return ReportRequest{LowerCaseAddress(*address), *digest};
}

}  // namespace tervane
