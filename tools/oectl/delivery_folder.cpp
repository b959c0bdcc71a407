#include "tools/oectl/delivery_folder.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "control/control_protocol.h"
#include "maildir/maildir_files.h"
#include "maildir/maildir_store.h"

namespace tervane {
namespace {

void MakeMaildir(const std::filesystem::path& root) {
  std::error_code error;
  if (!root.parent_path().empty()) {
    std::filesystem::create_directories(root.parent_path(), error);
  }
  for (const std::filesystem::path& dir : {root, root / "cur", root / "new", root / "tmp"}) {
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
      throw std::runtime_error("cannot make the Maildir " + root.string() + ": " +
                               std::strerror(errno));
    }
  }
}

}  // namespace

std::filesystem::path DeliveryFolder(
    const std::filesystem::path& root, std::string_view folder,
    const std::function<std::filesystem::path(int32_t id)>& dirOfId) {
  MakeMaildir(root);
  MaildirStore store(root);
  const std::vector<MaildirFolder> folders = store.Walk();  // the inbox first

  std::vector<MaildirFolder>::const_iterator found;
  if (const std::optional<int32_t> id = ParseControlId(folder)) {
    const std::filesystem::path theirs = dirOfId(*id);
    found = std::find_if(folders.begin(), folders.end(),
                         [&theirs](const MaildirFolder& f) { return SameFile(f.dir, theirs); });
    if (found == folders.end()) {
      throw std::runtime_error("folder " + std::to_string(*id) + " of the mail client is not in " +
                               root.string());
    }
  } else {
    const std::string name = CanonicalFolderName(folder);
    found = std::find_if(folders.begin(), folders.end(),
                         [&name](const MaildirFolder& f) { return f.name == name; });
    if (found == folders.end()) {
      throw std::runtime_error("unknown folder: " + std::string(folder));
    }
  }
  return found->dir;
}

}  // namespace tervane
