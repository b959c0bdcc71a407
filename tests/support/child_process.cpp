#include "tests/support/child_process.h"

#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <exception>
#include <system_error>

namespace tervane::testing {
namespace {

struct UserIds {
  uid_t uid = 0;
  gid_t gid = 0;
};

// The user nobody, when this process is root and nobody exists.
bool NobodyIds(UserIds& ids) {
  const passwd* entry = ::getpwnam("nobody");
  if (entry == nullptr)
    return false;
  ids = {entry->pw_uid, entry->pw_gid};
  return true;
}

void WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return;
    done += static_cast<size_t>(n);
  }
}

std::string ReadAll(int fd) {
  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return text;
    text.append(buffer, static_cast<size_t>(n));
  }
}

}  // namespace

std::string RunInChildProcess(const std::function<std::string()>& body,
                              const std::function<void()>& prepare) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0)
    return "child process failed: no pipe";
  const pid_t child = ::fork();
  if (child < 0) {
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    return "child process failed: no fork";
  }
  if (child == 0) {
    ::close(pipeFds[0]);
    std::string result;
    try {
      if (prepare)
        prepare();
      result = body();
    } catch (const std::exception& e) {
      result = std::string("child process failed: ") + e.what();
    }
    WriteAll(pipeFds[1], result);
    ::_exit(0);
  }
  ::close(pipeFds[1]);
  std::string result = ReadAll(pipeFds[0]);
  ::close(pipeFds[0]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    return "child process failed: " + (WIFSIGNALED(status)
                                           ? "signal " + std::to_string(WTERMSIG(status))
                                           : "exit " + std::to_string(WEXITSTATUS(status)));
  }
  return result;
}

bool CanTestPermissions() {
  UserIds ids;
  return ::geteuid() != 0 || NobodyIds(ids);
}

std::string RunUnprivileged(const std::function<std::string()>& body) {
  // The user is looked up here: a forked child of a threaded process must not read the user
  // database (its locks may be held by a thread that does not exist in the child).
  UserIds ids;
  const bool drop = ::geteuid() == 0 && NobodyIds(ids);
  return RunInChildProcess(body, [drop, ids] {
    if (drop && (::setgroups(0, nullptr) != 0 || ::setgid(ids.gid) != 0 || ::setuid(ids.uid) != 0))
      throw std::system_error(errno, std::generic_category(), "cannot become nobody");
  });
}

std::vector<std::string> UnprivilegedCommandPrefix() {
  if (::geteuid() != 0)
    return {};
  return {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"};
}

void GiveToUnprivilegedUser(const std::filesystem::path& path) {
  UserIds ids;
  if (::geteuid() != 0 || !NobodyIds(ids))
    return;
  auto give = [&ids](const std::filesystem::path& p) {
    if (::lchown(p.c_str(), ids.uid, ids.gid) != 0)
      throw std::system_error(errno, std::generic_category(), "cannot chown " + p.string());
  };
  give(path);
  if (std::filesystem::is_directory(std::filesystem::symlink_status(path))) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path))
      give(entry.path());
  }
}

}  // namespace tervane::testing
