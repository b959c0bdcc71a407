#include "maildir/message_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "base/fd_io.h"
#include "maildir/maildir_files.h"
#include "message/header_fields.h"

namespace tervane {
namespace {

constexpr size_t kChunkSize = 16 * 1024;

MessageFile NotMail(std::string what) {
  return MessageFile{MessageFileKind::kNotMail, UniqueFd(), 0, std::move(what)};
}

// What the file is, told without opening it, for an open that was refused.
MessageFile Classify(const char* file, int openError) {
  struct stat info {};
  if (::lstat(file, &info) != 0) {
    return MessageFile{MessageFileKind::kFailed, UniqueFd(), openError, {}};
  }
  if (S_ISLNK(info.st_mode)) {
    return MessageFile{MessageFileKind::kSymlink, UniqueFd(), 0, {}};
  }
  if (!S_ISREG(info.st_mode)) {
    return NotMail(DescribeFileType(info.st_mode));
  }
  return MessageFile{MessageFileKind::kUnreadable, UniqueFd(), openError, {}};
}

}  // namespace

MessageFile OpenMessageFile(const char* file) {
  UniqueFd fd(::open(file, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.valid()) {
    return MessageFile{MessageFileKind::kOpen, std::move(fd), 0, {}};
  }
  switch (errno) {
    case ENOENT:
    case ENOTDIR:
      return MessageFile{MessageFileKind::kGone, UniqueFd(), errno, {}};
    case ELOOP:
      return MessageFile{MessageFileKind::kSymlink, UniqueFd(), 0, {}};
    case ENXIO:
    case ENODEV:
      return NotMail("a socket or device");
    case EACCES:
    case EPERM:
      return Classify(file, errno);
    default:
      return MessageFile{MessageFileKind::kFailed, UniqueFd(), errno, {}};
  }
}

std::optional<std::string> ReadMessageHeaders(int fd) {
  // One buffer for every read, grown as needed and never cleared: a fresh zero-filled one per
  // message cost more than reading the headers.
  thread_local std::vector<char> buffer(kChunkSize);
  size_t size = 0;
  size_t line = 0;  // start of the line not yet finished
  while (true) {
    if (size == buffer.size()) {
      buffer.resize(std::min(buffer.size() * 2, kMaxHeaderBytes));
    }
    const ssize_t got = ReadAt(fd, buffer.data() + size, buffer.size() - size, size);
    if (got < 0) {
      return std::nullopt;
    }
    const size_t before = size;
    size += static_cast<size_t>(got);
    const std::string_view text(buffer.data(), size);
    const HeaderEnd end = FindHeaderEnd(text, line, before);
    if (end.found) {
      return std::string(text.substr(0, end.split.headerSize));
    }
    line = end.nextLine;
    if (got == 0) {
      return std::string(text);  // no blank line: the whole file is headers
    }
    if (size == kMaxHeaderBytes) {
      return std::string(text.substr(0, line));  // too long: its whole lines only
    }
  }
}

std::optional<std::string> ReadMessageBody(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    return std::nullopt;  // a device would never end
  }
  std::string text;
  text.reserve(static_cast<size_t>(info.st_size));
  ssize_t got;
  do {
    const size_t size = text.size();
    text.resize(size + kChunkSize);
    got = ReadAt(fd, text.data() + size, kChunkSize, size);
    text.resize(size + static_cast<size_t>(std::max<ssize_t>(got, 0)));
  } while (got > 0);
  if (got < 0) {
    return std::nullopt;
  }
  text.erase(0, SplitMessage(text).bodyStart);
  return text;
}

std::optional<std::string> ReadMessageHeaders(const std::filesystem::path& file) {
  const MessageFile message = OpenMessageFile(file.c_str());
  if (message.kind != MessageFileKind::kOpen) {
    return std::nullopt;
  }
  return ReadMessageHeaders(message.fd.get());
}

std::optional<std::string> ReadMessageBody(const std::filesystem::path& file) {
  const MessageFile message = OpenMessageFile(file.c_str());
  if (message.kind != MessageFileKind::kOpen) {
    return std::nullopt;
  }
  return ReadMessageBody(message.fd.get());
}

}  // namespace tervane
