#include "engine/address_rules.h"

#include <algorithm>

namespace tervane {
namespace {

constexpr std::string_view kReturnPathMarker = "Return-Path: <";
constexpr std::string_view kFromMarker = "From: ";
constexpr std::string_view kToMarker = "\nTo: ";

// The text from the first occurrence of marker (included) to the end, or the whole text when
// the marker does not occur.
std::string_view FromMarker(std::string_view text, std::string_view marker) {
  const auto pos = text.find(marker);
  return pos == std::string_view::npos ? text : text.substr(pos);
}

// The text after the first "<", or the whole text when there is none.
std::string_view AfterOpeningBracket(std::string_view text) {
  const auto pos = text.find('<');
  return pos == std::string_view::npos ? text : text.substr(pos + 1);
}

// The text before the first ">", or empty when there is none.
std::string BeforeClosingBracket(std::string_view text) {
  const auto pos = text.find('>');
  return pos == std::string_view::npos ? std::string() : std::string(text.substr(0, pos));
}

}  // namespace

std::string ExtractSenderAddress(std::string_view headerText) {
  const auto returnPath = headerText.find(kReturnPathMarker);
  if (returnPath != std::string_view::npos) {
    return BeforeClosingBracket(headerText.substr(returnPath + kReturnPathMarker.size()));
  }
  return BeforeClosingBracket(AfterOpeningBracket(FromMarker(headerText, kFromMarker)));
}

std::string ExtractRecipientAddress(std::string_view headerText) {
  return BeforeClosingBracket(AfterOpeningBracket(FromMarker(headerText, kToMarker)));
}

// True iff domain has a "." that is neither its first nor its last character.
bool IsValidDomain(std::string_view domain) {
  const auto dot = domain.find('.');
  return dot != std::string_view::npos && dot != 0 && dot != domain.size() - 1;
}

bool IsValidEmail(std::string_view text) {
  const auto at = text.find('@');
  return at != std::string_view::npos && at != 0 && IsValidDomain(text.substr(at + 1));
}

bool IsDomainEntry(std::string_view text) {
  return text.size() > 1 && text[0] == '@' && text.find('@', 1) == std::string_view::npos &&
         IsValidDomain(text.substr(1));
}

std::string DomainEntryOf(std::string_view address) {
  const auto at = address.rfind('@');
  return at == std::string_view::npos ? std::string() : std::string(address.substr(at));
}

bool SameAddress(std::string_view a, std::string_view b) {
  // ASCII only, whatever the locale, as the database's NOCASE comparison folds.
  const auto fold = [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  };
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [&](char x, char y) { return fold(x) == fold(y); });
}

}  // namespace tervane
