#include "tests/support/maildir_files.h"

#include "tests/support/file_contents.h"

#include <fstream>
#include <stdexcept>

namespace tervane::testing {

void MakeMaildirFolder(const std::filesystem::path& dir) {
  for (const char* sub : {"cur", "new", "tmp"}) {
    std::filesystem::create_directories(dir / sub);
  }
}

void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) {
    throw std::runtime_error("cannot write " + path.string());
  }
}

std::map<std::string, std::string> Snapshot(const std::filesystem::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
    const std::string name = std::filesystem::relative(entry.path(), dir).string();
    files[name] = entry.is_regular_file() ? ReadBytes(entry.path()) : "<dir>";
  }
  return files;
}

std::string TestMessage(std::string_view subject) {
  return "From: Ann Example <ann@example.org>\nTo: bob@example.net\nSubject: " +
         std::string(subject) + "\n\nHello.\n";
}

}  // namespace tervane::testing
