#ifndef TERVANE_TESTS_SUPPORT_FILE_CONTENTS_H_
#define TERVANE_TESTS_SUPPORT_FILE_CONTENTS_H_

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace tervane::testing {

// The whole content of file, byte for byte; empty when it cannot be read.
std::string ReadBytes(const std::filesystem::path& file);

// The inode number of file, or 0 when it does not exist: a file replaced by a rename gets a new
// one.
ino_t InodeOf(const std::filesystem::path& file);

}  // namespace tervane::testing

#endif  // TERVANE_TESTS_SUPPORT_FILE_CONTENTS_H_
