#ifndef TERVANE_TESTS_SUPPORT_UNPRIVILEGED_H_
#define TERVANE_TESTS_SUPPORT_UNPRIVILEGED_H_

#include <functional>
#include <string>
#include <vector>

namespace tervane::testing {

// Runs body in a child process in which permission bits count: when the tests run as root, the
// child first becomes the user "nobody" (group "nogroup"), so a read-only file or folder really
// is read-only to it. Returns body's result as the child's exit status (0 to 255), or -1 when
// the child could not be run or did not exit normally.
// REQUIRES: what body touches is reachable by that user (make test folders 0755/0777 first).
int RunUnprivileged(const std::function<int()>& body);

// The words to put before a command so that it runs unprivileged: when the tests run as root,
// util-linux's setpriv becoming "nobody" (group "nogroup"), else nothing. For a program started
// from a test that has threads, where a forked child must do no more than exec.
std::vector<std::string> UnprivilegedCommandPrefix();

}  // namespace tervane::testing

#endif  // TERVANE_TESTS_SUPPORT_UNPRIVILEGED_H_
