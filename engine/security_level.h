#ifndef TERVANE_ENGINE_SECURITY_LEVEL_H_
#define TERVANE_ENGINE_SECURITY_LEVEL_H_

#include <cstdint>
#include <optional>
#include <string_view>

namespace tervane {

// How much mail the filter lets through: High only white-listed senders, Medium what neither the
// black list nor the reference list holds, Low what the black list does not hold.
enum class SecurityLevel { kLow = 1, kMedium = 2, kHigh = 3 };

// What a stored misc.secureclass means: 1 Low, 3 High, every other value Medium.
SecurityLevel DecodeSecurityLevel(int32_t secureclass);

// The value misc.secureclass stores for level.
int32_t StoredSecurityLevel(SecurityLevel level);

// "low", "medium" or "high"; the level of such a word, or nothing for any other.
std::string_view SecurityLevelName(SecurityLevel level);
std::optional<SecurityLevel> SecurityLevelNamed(std::string_view name);

// The program-wide security level: misc.secureclass as it was last loaded or saved, and what it
// means, decoded once. The settings window shows the stored value (one outside 1 to 3 at the
// nearest end of its track bar); the filter judges by its meaning.
class ProgramSecurityLevel {
 public:
  void Set(int32_t secureclass) {
    stored_ = secureclass;
    level_ = DecodeSecurityLevel(secureclass);
  }
  int32_t stored() const { return stored_; }
  SecurityLevel level() const { return level_; }

 private:
  int32_t stored_ = 0;
  SecurityLevel level_ = SecurityLevel::kMedium;
};

}  // namespace tervane

#endif  // TERVANE_ENGINE_SECURITY_LEVEL_H_
