#ifndef TERVANE_UPDATER_UPDATE_RESULT_H_
#define TERVANE_UPDATER_UPDATE_RESULT_H_

#include <cstdint>
#include <optional>
#include <string>

namespace tervane {

// How an update ended, and the one sentence that tells the user.
struct UpdateResult {
  enum class Outcome { kUpdated, kUpToDate, kFailed };
  Outcome outcome = Outcome::kFailed;
  int64_t version = 0;                       // kUpdated: the version now in place
  int64_t addresses = 0;                     // kUpdated: its addresses
  std::optional<int64_t> previousAddresses;  // kUpdated: those of the list it replaced, if known
  std::string reason;                        // kFailed: what went wrong, lower case, no full stop
};

// "Reference list updated to version 42: 18,204 addresses (+311).", "Already up to date." or
// "Update failed: <reason>; your list is unchanged."
std::string ResultSentence(const UpdateResult& result);

// number with a comma between groups of three digits: 18204 -> "18,204".
std::string GroupedNumber(int64_t number);

}  // namespace tervane

#endif  // TERVANE_UPDATER_UPDATE_RESULT_H_
