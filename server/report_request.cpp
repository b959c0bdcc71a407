#include "server/report_request.h"

#include "base/hex.h"
#include "reflist/address_list.h"

namespace tervane {
namespace {

constexpr size_t kDigestHexDigits = 32;

std::optional<std::string> UpperCaseDigest(std::string_view digest) {
  if (digest.size() != kDigestHexDigits)
    return std::nullopt;
  const std::optional<std::string> bytes = BytesFromHex(digest);
  return bytes ? std::optional(HexDigits(*bytes, HexCase::kUpper)) : std::nullopt;
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
    if (slot->has_value() || !(*slot = PercentDecoded(value)))
      return std::nullopt;
  }
  if (!address || !content)
    return std::nullopt;
  const std::optional<std::string> digest = UpperCaseDigest(*content);
  if (!digest || address->empty() || address->size() > kMaxAddressBytes ||
      address->find('\0') != std::string::npos || !PercentDecoded(*address))  // escaped twice
    return std::nullopt;
  return ReportRequest{LowerCaseAddress(*address), *digest};
}

}  // namespace tervane
