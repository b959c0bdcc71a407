#include "engine/security_level.h"

namespace tervane {

SecurityLevel DecodeSecurityLevel(int32_t secureclass) {
  switch (secureclass) {
    case 1:
      return SecurityLevel::kLow;
    case 3:
      return SecurityLevel::kHigh;
    default:
      return SecurityLevel::kMedium;
  }
}

int32_t StoredSecurityLevel(SecurityLevel level) {
  return static_cast<int32_t>(level);
}

std::string_view SecurityLevelName(SecurityLevel level) {
  switch (level) {
    case SecurityLevel::kLow:
      return "low";
    case SecurityLevel::kHigh:
      return "high";
    case SecurityLevel::kMedium:
      break;
  }
  return "medium";
}

std::optional<SecurityLevel> SecurityLevelNamed(std::string_view name) {
  for (const SecurityLevel level :
       {SecurityLevel::kLow, SecurityLevel::kMedium, SecurityLevel::kHigh}) {
    if (SecurityLevelName(level) == name)
      return level;
  }
  return std::nullopt;
}

}  // namespace tervane
