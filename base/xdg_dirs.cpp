#include "base/xdg_dirs.h"

#include <cstdlib>
#include <string>
#include <system_error>

namespace tervane {
namespace {

namespace fs = std::filesystem;

struct HomeRule {
  const char* variable;
  const char* underHome;
};

HomeRule RuleOf(XdgHome kind) {
  switch (kind) {
    case XdgHome::kConfig:
      return {"XDG_CONFIG_HOME", ".config"};
    case XdgHome::kData:
      return {"XDG_DATA_HOME", ".local/share"};
    case XdgHome::kState:
      return {"XDG_STATE_HOME", ".local/state"};
  }
  return {"XDG_DATA_HOME", ".local/share"};
}

std::optional<fs::path> AbsoluteVariable(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || !fs::path(value).is_absolute())
    return std::nullopt;
  return fs::path(value);
}

}  // namespace

fs::path HomeFolder() {
  if (std::optional<fs::path> home = AbsoluteVariable("HOME"))
    return *home;
  throw NoHomeError("HOME is not set");
}

fs::path XdgHomeFolder(XdgHome kind) {
  const HomeRule rule = RuleOf(kind);
  if (std::optional<fs::path> folder = AbsoluteVariable(rule.variable))
    return *folder;
  if (std::optional<fs::path> home = AbsoluteVariable("HOME"))
    return *home / rule.underHome;
  throw NoHomeError(std::string("neither ") + rule.variable + " nor HOME is set");
}

fs::path ProgramHomeFolder(XdgHome kind) {
  return XdgHomeFolder(kind) / "tervane-antispam";
}

std::optional<fs::path> XdgRuntimeFolder() {
  return AbsoluteVariable("XDG_RUNTIME_DIR");
}

fs::path RunningProgramFolder() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  if (error)
    throw std::runtime_error("cannot find the program folder: " + error.message());
  return self.parent_path();
}

}  // namespace tervane
