#include "updater/update_result.h"

namespace tervane {

std::string GroupedNumber(int64_t number) {
  const std::string digits = std::to_string(number < 0 ? -number : number);
  std::string grouped = number < 0 ? "-" : "";
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0)
      grouped += ',';
    grouped += digits[i];
  }
  return grouped;
}

std::string ResultSentence(const UpdateResult& result) {
  switch (result.outcome) {
    case UpdateResult::Outcome::kUpToDate:
      return "Already up to date.";
    case UpdateResult::Outcome::kFailed:
      return "Update failed: " + result.reason + "; your list is unchanged.";
    case UpdateResult::Outcome::kUpdated:
      break;
  }
  std::string sentence = "Reference list updated to version " + std::to_string(result.version) +
                         ": " + GroupedNumber(result.addresses) + " addresses";
  if (result.previousAddresses) {
    const int64_t change = result.addresses - *result.previousAddresses;
    sentence += " (" + std::string(change >= 0 ? "+" : "") + GroupedNumber(change) + ")";
  }
  return sentence + ".";
}

}  // namespace tervane
