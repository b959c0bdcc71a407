#ifndef TERVANE_MAILDIR_MESSAGE_FILE_H_
#define TERVANE_MAILDIR_MESSAGE_FILE_H_

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

#include "base/unique_fd.h"

namespace tervane {

// Opening a file that claims to be a message. Anyone who can write into a Maildir can put
// anything there, so a message file is opened without following a symbolic link and without
// waiting on a FIFO, and only a regular file is read as a message.

// The most of a header section that is read: a longer one is cut after its last whole line
// within this size, and nothing after it is read.
inline constexpr size_t kMaxHeaderBytes = 1024 * 1024;

enum class MessageFileKind {
  kOpen,        // open for reading; reading fails for a FIFO or a folder
  kUnreadable,  // a regular file this process may not read
  kGone,        // nothing of that name
  kSymlink,     // a symbolic link: never followed
  kNotMail,     // a socket, or something unreadable that is no regular file
  kFailed,      // the open failed for another reason (out of descriptors, I/O error)
};

struct MessageFile {
  MessageFileKind kind;
  UniqueFd fd;       // open iff kind is kOpen
  int error = 0;     // the errno value for kUnreadable and kFailed
  std::string what;  // for kNotMail: what the file is ("a socket", ...)
};

// Opens file as a message: read-only, O_NOFOLLOW, O_NONBLOCK, and one system call when it
// opens (its type is not looked at: see the readers).
MessageFile OpenMessageFile(const char* file);

// The header section of the open message file fd as stored, without the blank line that ends
// it, capped at kMaxHeaderBytes. Reads from the start of the file whatever its offset, only as
// far as that blank line. Nothing when the file cannot be read (a FIFO or a folder cannot).
std::optional<std::string> ReadMessageHeaders(int fd);
// Everything after the header section's blank line; empty when there is none. Nothing when the
// file cannot be read or is no regular file.
std::optional<std::string> ReadMessageBody(int fd);

// The same for a file named by its path; nothing as well when it is not a regular file.
std::optional<std::string> ReadMessageHeaders(const std::filesystem::path& file);
std::optional<std::string> ReadMessageBody(const std::filesystem::path& file);

}  // namespace tervane

#endif  // TERVANE_MAILDIR_MESSAGE_FILE_H_
