#ifndef TERVANE_EXTSERVER_FD_IO_H_
#define TERVANE_EXTSERVER_FD_IO_H_

#include <sys/types.h>

#include <cstddef>
#include <string_view>

namespace tervane {

// Reads and writes on file descriptors that go on after a signal interrupts them.

// Reads up to size bytes of fd at offset into to. Returns the count read (0 at the end), or -1
// with errno set.
ssize_t ReadAt(int fd, char* to, size_t size, size_t offset);

// Writes all of bytes to fd. False, with errno set, when a write fails.
bool WriteAll(int fd, std::string_view bytes);

}  // namespace tervane

#endif  // TERVANE_EXTSERVER_FD_IO_H_
