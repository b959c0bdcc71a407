#include "extserver/message_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "extserver/header_fields.h"
#include "extserver/unique_fd.h"

namespace tervane {
namespace {

constexpr size_t kChunkSize = 16 * 1024;

// Appends up to kChunkSize bytes of fd to text. Returns the count read (0 at the end), or -1.
ssize_t ReadChunk(int fd, std::string& text) {
  const size_t size = text.size();
  text.resize(size + kChunkSize);
  ssize_t got;
  do {
    got = ::read(fd, text.data() + size, kChunkSize);
  } while (got < 0 && errno == EINTR);
  text.resize(size + (got > 0 ? static_cast<size_t>(got) : 0));
  return got;
}

UniqueFd OpenForReading(const std::filesystem::path& file) {
  return UniqueFd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
}

}  // namespace

std::optional<std::string> ReadMessageHeaders(const std::filesystem::path& file) {
  const UniqueFd fd = OpenForReading(file);
  if (!fd.valid()) {
    return std::nullopt;
  }
  std::string text;
  size_t line = 0;
  while (true) {
    const ssize_t got = ReadChunk(fd.get(), text);
    if (got < 0) {
      return std::nullopt;
    }
    const HeaderEnd end = FindHeaderEnd(text, line);
    if (end.found) {
      text.resize(end.split.headerSize);
      return text;
    }
    if (got == 0) {
      return text;  // no blank line: the whole file is headers
    }
    line = end.nextLine;
  }
}

std::optional<std::string> ReadMessageBody(const std::filesystem::path& file) {
  const UniqueFd fd = OpenForReading(file);
  if (!fd.valid()) {
    return std::nullopt;
  }
  std::string text;
  struct stat info {};
  if (::fstat(fd.get(), &info) == 0 && info.st_size > 0) {
    text.reserve(static_cast<size_t>(info.st_size) + kChunkSize);
  }
  ssize_t got;
  while ((got = ReadChunk(fd.get(), text)) > 0) {
  }
  if (got < 0) {
    return std::nullopt;
  }
  text.erase(0, SplitMessage(text).bodyStart);
  return text;
}

}  // namespace tervane
