#include "ui/desktop_file.h"

#include <sstream>

namespace tervane {
namespace {

std::string_view Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  const size_t last = text.find_last_not_of(" \t");
  return first == std::string_view::npos ? std::string_view()
                                         : text.substr(first, last - first + 1);
}

}  // namespace

DesktopFileText ParseDesktopFile(std::string_view text) {
  DesktopFileText file;
  if (!text.empty() && text.back() != '\n') {
    file.wellFormed = false;
    const size_t lastBreak = text.rfind('\n');
    text = lastBreak == std::string_view::npos ? std::string_view() : text.substr(0, lastBreak + 1);
  }
  std::istringstream lines{std::string(text)};
  std::string group;
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    if (line.empty() || line.front() == '#')
      continue;
    if (line.front() == '[' && line.back() == ']') {
      group = line.substr(1, line.size() - 2);
      file.groups.push_back(group);
      continue;
    }
    const size_t equals = line.find('=');
    if (equals == std::string::npos) {
      file.wellFormed = false;
      continue;
    }
    const std::string_view whole(line);
    file.keys.push_back({group, std::string(Trimmed(whole.substr(0, equals))),
                         std::string(Trimmed(whole.substr(equals + 1)))});
  }
  return file;
}

}  // namespace tervane
