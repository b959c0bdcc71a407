#include "tests/support/unprivileged.h"

#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <exception>

namespace tervane::testing {
namespace {

// Drops root to nobody/nogroup; true when the process is then unprivileged.
bool DropRoot() {
  if (::geteuid() != 0) {
    return true;
  }
  const passwd* nobody = ::getpwnam("nobody");
  const group* nogroup = ::getgrnam("nogroup");
  if (nobody == nullptr) {
    return false;
  }
  const gid_t gid = nogroup != nullptr ? nogroup->gr_gid : nobody->pw_gid;
  return ::setgroups(0, nullptr) == 0 && ::setgid(gid) == 0 && ::setuid(nobody->pw_uid) == 0;
}

}  // namespace

int RunUnprivileged(const std::function<int()>& body) {
  const pid_t child = ::fork();
  if (child < 0) {
    return -1;
  }
  if (child == 0) {
    int code = 255;
    try {
      if (DropRoot()) {
        code = body();
      }
    } catch (const std::exception&) {
    }
    ::_exit(code);
  }
  int status = 0;
  if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
    return -1;
  }
  return WEXITSTATUS(status);
}

std::vector<std::string> UnprivilegedCommandPrefix() {
  if (::geteuid() != 0)
    return {};
  return {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"};
}

}  // namespace tervane::testing
