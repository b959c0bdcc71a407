#ifndef TERVANE_TESTS_SUPPORT_CHILD_PROCESS_H_
#define TERVANE_TESTS_SUPPORT_CHILD_PROCESS_H_

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace tervane::testing {

// Runs body in a forked child process, first calling prepare there (to lower a limit, drop
// privileges, ...), and returns the text body returned. A child that ends otherwise returns
// "child process failed: <how>". The child leaves with _exit: no destructor or test handler of
// this process runs in it. REQUIRES: no other thread is running.
std::string RunInChildProcess(const std::function<std::string()>& body,
                              const std::function<void()>& prepare = {});

// Whether permission checks can be tested here: true for a user other than root, and for root
// when the user nobody exists to run the checked step as. Permission bits do not stop root.
bool CanTestPermissions();

// Runs body as RunInChildProcess does, as the user nobody when this process is root, else as this
// process's own user. REQUIRES: CanTestPermissions().
std::string RunUnprivileged(const std::function<std::string()>& body);

// The words to put before a command so that it runs unprivileged: when the tests run as root,
// util-linux's setpriv becoming "nobody" (group "nogroup"), else nothing. For a program started
// from a test that has threads, where a forked child must do no more than exec.
std::vector<std::string> UnprivilegedCommandPrefix();

// Makes path and everything under it belong to the user RunUnprivileged runs as (nothing to do
// unless this process is root).
void GiveToUnprivilegedUser(const std::filesystem::path& path);

}  // namespace tervane::testing

#endif  // TERVANE_TESTS_SUPPORT_CHILD_PROCESS_H_
