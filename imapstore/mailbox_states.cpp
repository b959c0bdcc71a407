#include "imapstore/mailbox_states.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <system_error>

#include "base/fd_io.h"
#include "base/hex.h"
#include "base/unique_fd.h"
#include "imapstore/imap_address.h"

namespace tervane::imap {
namespace {

std::optional<uint32_t> Number(std::string_view text) {
  uint32_t value = 0;
  const char* end = text.data() + text.size();
  const auto [at, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || at != end || text.empty())
    return std::nullopt;
  return value;
}

std::string FileNamePart(std::string_view text) {
  std::string part;
  for (const char c : text) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '@' || c == '.' || c == '_' || c == '-';
    if (plain) {
      part += c;
    } else {
      part += '%';
      AppendHexByte(part, static_cast<unsigned char>(c), HexCase::kUpper);
    }
  }
  return part;
}

}  // namespace

MailboxStates ReadMailboxStates(const std::filesystem::path& file) {
  MailboxStates states;
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::error_code missing;
    if (!std::filesystem::exists(file, missing))
      return states;
    throw std::runtime_error("cannot read " + file.string() + ": " + strerror(errno));
  }
  for (std::string line; std::getline(in, line);) {
    const size_t first = line.find('\t');
    const size_t second = first == std::string::npos ? first : line.find('\t', first + 1);
    if (second == std::string::npos || second + 1 == line.size())
      continue;
    const std::optional<uint32_t> validity = Number(std::string_view(line).substr(0, first));
    const std::optional<uint32_t> last =
        Number(std::string_view(line).substr(first + 1, second - first - 1));
    if (validity && last)
      states[line.substr(second + 1)] = {*validity, *last};
  }
  return states;
}

void WriteMailboxStates(const std::filesystem::path& file, const MailboxStates& states) {
  std::string text;
  for (const auto& [name, progress] : states)
    text += std::to_string(progress.uidValidity) + '\t' + std::to_string(progress.lastUid) + '\t' +
            name + '\n';
  const auto fail = [&file](const std::string& what) {
    return std::runtime_error("cannot write " + file.string() + ": " + what);
  };
  std::error_code error;
  std::filesystem::create_directories(file.parent_path(), error);
  if (error)
    throw fail(error.message());
  const std::filesystem::path temporary = file.string() + ".new";
  {
    UniqueFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (!fd.valid() || !WriteAll(fd.get(), text))
      throw fail(strerror(errno));
  }
  if (::rename(temporary.c_str(), file.c_str()) != 0)
    throw fail(strerror(errno));
}

std::filesystem::path MailboxStatesFile(const std::filesystem::path& folder,
                                        const std::string& url) {
  const ImapAddress address = ParseImapAddress(url);
  return folder / ("imap-" + FileNamePart(address.user) + "@" + FileNamePart(address.host) + "-" +
                   std::to_string(address.port) + ".state");
}

}  // namespace tervane::imap
