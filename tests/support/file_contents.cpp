#include "tests/support/file_contents.h"

#include <sys/stat.h>

#include <fstream>
#include <sstream>

namespace tervane::testing {

std::string ReadBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

ino_t InodeOf(const std::filesystem::path& file) {
  struct stat status {};
  return ::stat(file.c_str(), &status) == 0 ? status.st_ino : 0;
}

}  // namespace tervane::testing
