#ifndef TERVANE_BASE_FD_IO_H_
#define TERVANE_BASE_FD_IO_H_

#include <sys/types.h>

#include <cerrno>
#include <cstddef>
#include <string>
#include <string_view>

namespace tervane {

// Reads and writes on file descriptors that go on after a signal interrupts them.

// Calls call() again for as long as it fails with EINTR; returns its last result.
template <typename Call>
auto RetryOnEintr(Call call) {
  for (;;) {
    const auto result = call();
    if (result != -1 || errno != EINTR)
      return result;
  }
}

// Reads up to size bytes of fd at offset into to. Returns the count read (0 at the end), or -1
// with errno set.
ssize_t ReadAt(int fd, char* to, size_t size, size_t offset);

// Writes all of bytes to fd. False, with errno set, when a write fails.
bool WriteAll(int fd, std::string_view bytes);

// Appends everything fd holds from where it stands to its end to out, stopping with false (errno
// E2BIG) once more than maxBytes would be held. False, with errno set, when a read fails.
bool ReadToEnd(int fd, std::string& out, size_t maxBytes);

}  // namespace tervane

#endif  // TERVANE_BASE_FD_IO_H_
