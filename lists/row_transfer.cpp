#include "lists/row_transfer.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <system_error>

#include "base/fd_io.h"
#include "base/unique_fd.h"
#include "base/xdg_dirs.h"

namespace tervane {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void Fail(const fs::path& file, std::string_view what, int error = 0) {
  std::string message = "transfer file \"" + file.string() + "\": " + std::string(what);
  if (error != 0)
    message += std::string(": ") + std::strerror(error);
  throw TransferError(message);
}

// Opens a transfer file the other side made, and checks it is a private file of this user.
UniqueFd OpenTransferFile(const fs::path& file, int access) {
  if (!file.is_absolute())
    Fail(file, "not an absolute path");
  // O_NONBLOCK: opening a FIFO put in its place must not wait for a writer.
  UniqueFd fd(::open(file.c_str(), access | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid())
    Fail(file, errno == ELOOP ? "a symbolic link" : "cannot open", errno == ELOOP ? 0 : errno);
  struct stat status {};
  if (::fstat(fd.get(), &status) != 0)
    Fail(file, "cannot inspect", errno);
  if (!S_ISREG(status.st_mode))
    Fail(file, "not a regular file");
  if (status.st_uid != ::geteuid())
    Fail(file, "belongs to another user");
  if ((status.st_mode & (S_IRWXG | S_IRWXO)) != 0)
    Fail(file, "others may read or write it");
  return fd;
}

void WriteWhole(int fd, std::string_view content, const fs::path& file) {
  if (!WriteAll(fd, content))
    Fail(file, "cannot write", errno);
}

void AppendEscaped(std::string& out, std::string_view text) {
  for (char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
}

std::string Unescaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (++i == text.size())
      throw TransferError("row file: a line ends in a backslash");
    switch (text[i]) {
      case 't':
        out += '\t';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      default:
        out += text[i];
    }
  }
  return out;
}

template <typename Number>
Number ParseNumber(std::string_view text) {
  Number value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size())
    throw TransferError("row file: \"" + std::string(text) + "\" is not a number");
  return value;
}

}  // namespace

void AppendEncodedEntry(std::string& out, const ListEntry& entry) {
  char number[32];
  out.append(number, std::to_chars(number, number + sizeof number, entry.line).ptr);
  out += '\t';
  AppendEscaped(out, entry.mail);
  out += '\t';
  AppendEscaped(out, entry.name);
  out += '\t';
  if (entry.date)
    out.append(number, std::to_chars(number, number + sizeof number, *entry.date).ptr);
  out += '\n';
}

std::string EncodeEntries(const std::vector<ListEntry>& entries) {
  std::string out;
  for (const ListEntry& entry : entries)
    AppendEncodedEntry(out, entry);
  return out;
}

std::vector<ListEntry> DecodeEntries(std::string_view text) {
  std::vector<ListEntry> entries;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    if (end == std::string_view::npos)
      throw TransferError("row file: the last line is not complete");
    std::string_view fields[4];
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    for (int i = 0; i < 4; ++i) {
      const size_t tab = i < 3 ? line.find('\t') : line.size();
      if (tab == std::string_view::npos)
        throw TransferError("row file: a line has fewer than four fields");
      fields[i] = line.substr(0, tab);
      line.remove_prefix(std::min(tab + 1, line.size()));
    }
    ListEntry entry;
    entry.line = ParseNumber<size_t>(fields[0]);
    entry.mail = Unescaped(fields[1]);
    entry.name = Unescaped(fields[2]);
    if (!fields[3].empty())
      entry.date = ParseNumber<double>(fields[3]);
    entries.push_back(std::move(entry));
  }
  return entries;
}

TransferFolder::TransferFolder() {
  std::error_code error;
  fs::path base = XdgRuntimeFolder().value_or(fs::temp_directory_path(error));
  if (base.empty())
    base = "/tmp";
  std::string pattern = (base / "tervane-lists-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr)  // made with mode 0700
    Fail(pattern, "cannot make a private folder", errno);
  path_ = pattern;
}

TransferFolder::~TransferFolder() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

fs::path TransferFolder::NewFile(std::string_view name, std::string_view content) const {
  const fs::path file = path_ / name;
  UniqueFd fd(::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!fd.valid())
    Fail(file, "cannot make", errno);
  WriteWhole(fd.get(), content, file);
  return file;
}

std::string ReadTransferFile(const fs::path& file) {
  const UniqueFd fd = OpenTransferFile(file, O_RDONLY);
  std::string content;
  if (!ReadToEnd(fd.get(), content, content.max_size()))
    Fail(file, "cannot read", errno);
  return content;
}

void WriteTransferFile(const fs::path& file, std::string_view content) {
  const UniqueFd fd = OpenTransferFile(file, O_WRONLY);
  if (::ftruncate(fd.get(), 0) != 0)
    Fail(file, "cannot empty", errno);
  WriteWhole(fd.get(), content, file);
}

}  // namespace tervane
