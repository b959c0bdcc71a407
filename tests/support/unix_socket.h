#ifndef TERVANE_TESTS_SUPPORT_UNIX_SOCKET_H_
#define TERVANE_TESTS_SUPPORT_UNIX_SOCKET_H_

#include <filesystem>

#include "base/unique_fd.h"

namespace tervane::testing {

// A Unix stream socket bound at path: listening when listen is set, else a socket file that
// nothing answers (as a crashed server leaves it).
UniqueFd BindUnixSocket(const std::filesystem::path& path, bool listen);

// A Unix stream socket connected to path (blocking), or an invalid one when nothing answers.
UniqueFd ConnectUnixSocket(const std::filesystem::path& path);

}  // namespace tervane::testing

#endif  // TERVANE_TESTS_SUPPORT_UNIX_SOCKET_H_
