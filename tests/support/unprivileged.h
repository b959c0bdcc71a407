#ifndef TERVANE_TESTS_SUPPORT_UNPRIVILEGED_H_
#define TERVANE_TESTS_SUPPORT_UNPRIVILEGED_H_

#include <functional>

namespace tervane::testing {

// Runs body in a child process in which permission bits count: when the tests run as root, the
// child first becomes the user "nobody" (group "nogroup"), so a read-only file or folder really
// is read-only to it. Returns body's result as the child's exit status (0 to 255), or -1 when
// the child could not be run or did not exit normally.
// REQUIRES: what body touches is reachable by that user (make test folders 0755/0777 first).
int RunUnprivileged(const std::function<int()>& body);

// Makes this process the user "nobody" (group "nogroup") when it runs as root; nothing
// otherwise. True when the process is then unprivileged. For a child about to run a program
// (QProcess::setChildProcessModifier).
bool BecomeUnprivileged();

}  // namespace tervane::testing

#endif  // TERVANE_TESTS_SUPPORT_UNPRIVILEGED_H_
