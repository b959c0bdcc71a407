#include "extserver/fd_io.h"

#include <unistd.h>

#include <cerrno>

namespace tervane {

ssize_t ReadAt(int fd, char* to, size_t size, size_t offset) {
  ssize_t got;
  do {
    got = ::pread(fd, to, size, static_cast<off_t>(offset));
  } while (got < 0 && errno == EINTR);
  return got;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

}  // namespace tervane
