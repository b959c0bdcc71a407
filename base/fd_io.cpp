#include "base/fd_io.h"

#include <unistd.h>

namespace tervane {

ssize_t ReadAt(int fd, char* to, size_t size, size_t offset) {
  return RetryOnEintr([&] { return ::pread(fd, to, size, static_cast<off_t>(offset)); });
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = RetryOnEintr([&] { return ::write(fd, bytes.data(), bytes.size()); });
    if (written < 0)
      return false;
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

bool ReadToEnd(int fd, std::string& out, size_t maxBytes) {
  char buffer[65536];
  for (;;) {
    const ssize_t got = RetryOnEintr([&] { return ::read(fd, buffer, sizeof buffer); });
    if (got < 0)
      return false;
    if (got == 0)
      return true;
    if (out.size() + static_cast<size_t>(got) > maxBytes) {
      errno = E2BIG;
      return false;
    }
    out.append(buffer, static_cast<size_t>(got));
  }
}

}  // namespace tervane
