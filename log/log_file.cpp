#include "log/log_file.h"

#include "base/xdg_dirs.h"

#include <deque>
#include <fstream>

namespace tervane {
namespace {

namespace fs = std::filesystem;

// Keeps the last count lines of file in lines.
void TakeLastLines(const fs::path& file, size_t count, std::deque<std::string>& lines) {
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) {
    lines.push_back(std::move(line));
    if (lines.size() > count) {
      lines.pop_front();
    }
  }
}

}  // namespace

fs::path DefaultLogFile() {
  return ProgramHomeFolder(XdgHome::kState) / "decisions.log";
}

fs::path RotatedLogFile(const fs::path& file) {
  return file.string() + ".1";
}

std::vector<std::string> LastLogLines(const fs::path& file, size_t count) {
  std::deque<std::string> lines;
  if (count > 0) {
    TakeLastLines(RotatedLogFile(file), count, lines);
    TakeLastLines(file, count, lines);
  }
  return std::vector<std::string>(lines.begin(), lines.end());
}

}  // namespace tervane
