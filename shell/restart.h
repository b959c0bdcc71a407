#ifndef TERVANE_SHELL_RESTART_H_
#define TERVANE_SHELL_RESTART_H_

#include <chrono>
#include <filesystem>

namespace tervane {

// Set to "1" in the environment of an instance started by StartFreshInstance.
inline constexpr char kRestartedVariable[] = "TERVANE_RESTARTED";

// Returns true iff this process was started by StartFreshInstance (kRestartedVariable is "1"),
// and takes the variable out of the environment, so that programs this one starts (the updater,
// a later fresh instance) do not inherit it.
bool TakeRestartedMark();

// Starts programFile detached, without arguments, with kRestartedVariable=1 added to the
// environment. Starts nothing when the file does not exist; whether the start worked is not read.
void StartFreshInstance(const std::filesystem::path& programFile);

// Returns true as soon as nothing accepts a connection at the local socket socketPath (checked
// about every 50 ms, blocking the caller); false when something still does after timeout.
bool WaitUntilSocketFree(const std::filesystem::path& socketPath,
                         std::chrono::milliseconds timeout);

}  // namespace tervane

#endif  // TERVANE_SHELL_RESTART_H_
