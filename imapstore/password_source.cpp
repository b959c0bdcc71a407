#include "imapstore/password_source.h"

#include <fcntl.h>
#include <openssl/crypto.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/fd_io.h"
#include "base/unique_fd.h"

extern char** environ;

namespace tervane::imap {
namespace {

// The longest password output read; a command that prints more is cut off there.
constexpr size_t kMaxOutput = 64 * 1024;

// The first line of text (without "\r\n" or "\n"), text wiped.
Secret FirstLine(std::string& text) {
  const size_t end = text.find('\n');
  std::string line = text.substr(0, end);
  if (!line.empty() && line.back() == '\r')
    line.pop_back();
  OPENSSL_cleanse(text.data(), text.size());
  return Secret(std::move(line));
}

// Reads fd to its end or the deadline into out; false when the deadline passed first.
bool ReadUntil(int fd, std::string& out, std::chrono::steady_clock::time_point deadline) {
  char buffer[4096];
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0)
      return false;
    pollfd ready{fd, POLLIN, 0};
    if (RetryOnEintr([&] { return ::poll(&ready, 1, static_cast<int>(left.count())); }) <= 0)
      continue;  // the deadline is checked again
    const ssize_t n = RetryOnEintr([&] { return ::read(fd, buffer, sizeof buffer); });
    if (n <= 0)
      break;
    if (out.size() < kMaxOutput)
      out.append(buffer, static_cast<size_t>(n));
  }
  OPENSSL_cleanse(buffer, sizeof buffer);
  return true;
}

Secret RunCommand(const std::string& command, std::chrono::milliseconds timeout) {
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0)
    throw PasswordError("password-command: cannot make a pipe: " + std::string(strerror(errno)));
  UniqueFd readEnd(pipeFds[0]);
  UniqueFd writeEnd(pipeFds[1]);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDOUT_FILENO);
  const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
  pid_t pid = -1;
  const int failed =
      ::posix_spawn(&pid, argv[0], &actions, nullptr, const_cast<char**>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0)
    throw PasswordError("password-command: cannot run /bin/sh: " + std::string(strerror(failed)));
  writeEnd = UniqueFd();
  std::string output;
  const bool finished =
      ReadUntil(readEnd.get(), output, std::chrono::steady_clock::now() + timeout);
  if (!finished)
    ::kill(pid, SIGKILL);
  int status = 0;
  RetryOnEintr([&] { return ::waitpid(pid, &status, 0); });
  Secret password = FirstLine(output);
  if (!finished)
    throw PasswordError("password-command gave no password within " +
                        std::to_string(timeout.count() / 1000) + " s");
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    throw PasswordError("password-command failed (" +
                        (WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                                           : std::string("killed by a signal")) +
                        ")");
  if (password.empty())
    throw PasswordError("password-command printed no password");
  return password;
}

Secret ReadFile(const std::filesystem::path& file) {
  const std::string name = "the password file " + file.string();
  UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
  if (!fd.valid())
    throw PasswordError(name + " cannot be read: " + strerror(errno));
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode))
    throw PasswordError(name + " is not a regular file");
  if (info.st_uid != ::geteuid())
    throw PasswordError(name + " belongs to another user; it must be your own, mode 0600");
  if ((info.st_mode & 077) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", info.st_mode & 07777);
    throw PasswordError(name + " may be read by others (mode " + mode +
                        "); make it yours alone: chmod 600");
  }
  std::string text;
  const bool read = ReadToEnd(fd.get(), text, kMaxOutput);
  Secret password = FirstLine(text);
  if (!read)
    throw PasswordError(name + " cannot be read: " + strerror(errno));
  if (password.empty())
    throw PasswordError(name + " holds no password on its first line");
  return password;
}

}  // namespace

Secret ReadPassword(const PasswordSource& source, std::chrono::milliseconds timeout) {
  if (source.command.empty() == source.file.empty())
    throw PasswordError(source.command.empty()
                            ? "the IMAP account needs a password-command or a password-file"
                            : "give either a password-command or a password-file, not both");
  if (!source.command.empty())
    return RunCommand(source.command, timeout);
  return ReadFile(source.file);
}

}  // namespace tervane::imap
