#include "tools/lists/list_access.h"

#include <fstream>
#include <stdexcept>
#include <thread>

#include "control/control_client.h"
#include "store/folder_owner.h"

namespace tervane {
namespace {

namespace fs = std::filesystem;

// How long an owner that does not answer yet is waited for, and how often it is asked.
constexpr std::chrono::seconds kOwnerWait(3);
constexpr std::chrono::milliseconds kRetryInterval(100);

// "process 1234 (TervaneAntiSpam)", or without the name when it cannot be read.
std::string ProcessText(pid_t pid) {
  if (pid <= 0)
    return "another process";
  std::string name;
  std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
  std::getline(comm, name);
  return "process " + std::to_string(pid) + (name.empty() ? "" : " (" + name + ")");
}

}  // namespace

std::unique_ptr<ListAccess> ConnectListAccess(const fs::path& folder, const fs::path& socket) {
  const auto deadline = std::chrono::steady_clock::now() + kOwnerWait;
  for (;;) {
    pid_t owner = 0;
    try {
      return NewFileListAccess(folder);
    } catch (const FolderInUse& inUse) {
      owner = inUse.owner();
    }
    try {
      return NewProgramListAccess(folder, socket);
    } catch (const ControlNotRunning&) {
      // The owner may be a program still starting, or a tervane-lists about to finish.
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      throw std::runtime_error("the lists in " + folder.string() + " are in use by " +
                               ProcessText(owner) + ", and no program answers for them at " +
                               socket.string() +
                               " (is it running in another session? name its socket with "
                               "--socket, or try again when it has ended)");
    }
    std::this_thread::sleep_for(kRetryInterval);
  }
}

}  // namespace tervane
